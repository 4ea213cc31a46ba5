// Backend functions the library calls. Parameter names and result shapes are the ones the
// library reads; every bad input is answered with a Parse error that says what is wrong.

import { FileKeyError, contentTypeFor, isValidContentType, normalizeKey } from '../lib/filestore.mjs';
import { DEMO_COMPANY_NAME, MAX_SIGNED_URL_TTL } from '../lib/settings.mjs';
import { companyIdOfCatalog } from './access.mjs';

const MASTER = { useMasterKey: true };
const SIGNED_IN = { requireUser: true, skipWithMasterKey: true };

// A simple, permissive address check: something@something.tld without blanks.
const EMAIL_RE = /^[^\s@]+@[^\s@]+\.[^\s@]+$/;

function invalid(message) {
  return new Parse.Error(Parse.Error.VALIDATION_ERROR, message);
}

function stringParam(params, name, { allowEmpty = false } = {}) {
  const v = params[name];
  if (typeof v !== 'string') throw invalid(`parameter "${name}" must be a string`);
  if (!allowEmpty && v.trim() === '') throw invalid(`parameter "${name}" must not be empty`);
  return v;
}

function fileKeyParam(params, { percentEncoded = false } = {}) {
  let raw = stringParam(params, 'file_key');
  if (percentEncoded) {
    // The library percent-encodes this one key for the query string; a key sent without
    // encoding (a "%" that does not start an escape) is taken as it is.
    try {
      raw = decodeURIComponent(raw);
    } catch {
      // keep raw
    }
  }
  try {
    return normalizeKey(raw);
  } catch (e) {
    if (e instanceof FileKeyError) throw invalid(`invalid file_key: ${e.message}`);
    throw e;
  }
}

function ttlParam(params) {
  const v = params.expires_in;
  if (v === undefined || v === null) return undefined;
  if (!Number.isInteger(v) || v < 1 || v > MAX_SIGNED_URL_TTL) {
    throw invalid(`parameter "expires_in" must be a whole number of seconds in 1..${MAX_SIGNED_URL_TTL}`);
  }
  return v;
}

// Signed URLs name the host the caller used, when that is one of the loopback names the
// certificate covers, so that a client that came in through 127.0.0.1 stays on it.
function baseUrlFor(request, fallback) {
  const host = request.headers?.host;
  if (typeof host === 'string' && /^(localhost|127\.0\.0\.1|\[::1\]):\d{1,5}$/.test(host)) return `https://${host}`;
  return fallback;
}

export function installFunctions({ store, baseUrl }) {
  Parse.Cloud.define(
    'getSignedUrlToDownloadByKey',
    async (req) => {
      const key = fileKeyParam(req.params, { percentEncoded: true });
      const signedUrl = store.sign({
        method: 'GET',
        key,
        contentType: contentTypeFor(key),
        ttlSeconds: ttlParam(req.params),
        baseUrl: baseUrlFor(req, baseUrl),
      });
      return { signedUrl };
    },
    SIGNED_IN,
  );

  Parse.Cloud.define(
    'getSignedUrlToUploadByKey',
    async (req) => {
      const key = fileKeyParam(req.params);
      let contentType = contentTypeFor(key);
      if (req.params.content_type !== undefined) {
        if (!isValidContentType(req.params.content_type)) throw invalid('parameter "content_type" is not a media type');
        contentType = req.params.content_type.trim();
      }
      const signedUrl = store.sign({
        method: 'PUT',
        key,
        contentType,
        ttlSeconds: ttlParam(req.params),
        baseUrl: baseUrlFor(req, baseUrl),
      });
      return { signedUrl, contentType, filePath: key };
    },
    SIGNED_IN,
  );

  Parse.Cloud.define('isFileExists', async (req) => store.exists(fileKeyParam(req.params)), SIGNED_IN);

  Parse.Cloud.define('deleteFile', async (req) => store.remove(fileKeyParam(req.params)), SIGNED_IN);

  // The directory key under which a component's thumbnails are kept.
  Parse.Cloud.define(
    'getComponentThumbnailHome',
    async (req) => {
      const id = stringParam(req.params, 'component_id');
      const options = req.master ? MASTER : { sessionToken: req.user.getSessionToken() };
      let component;
      try {
        component = await new Parse.Query('Component').get(id, options);
      } catch (e) {
        if (e.code === Parse.Error.OBJECT_NOT_FOUND) throw new Parse.Error(Parse.Error.OBJECT_NOT_FOUND, `component ${id} not found`);
        throw e;
      }
      const catalog = component.get('catalog');
      const companyId = await companyIdOfCatalog(catalog);
      const parts = [];
      if (companyId) parts.push('companies', companyId);
      if (catalog?.id) parts.push('catalogs', catalog.id);
      parts.push('components', component.id, 'thumbnails');
      return { path: parts.join('/') };
    },
    SIGNED_IN,
  );

  // Self-registration of an employee of the demonstration company. Answers the new user's id.
  Parse.Cloud.define('registerCompanyUser', async (req) => {
    const p = req.params;
    const companyId = stringParam(p, 'company_id');
    const fullName = stringParam(p, 'full_name').trim();
    const email = stringParam(p, 'email').trim();
    const password = stringParam(p, 'password');
    const role = stringParam(p, 'role');
    if (!EMAIL_RE.test(email)) throw new Parse.Error(Parse.Error.INVALID_EMAIL_ADDRESS, `invalid e-mail address '${email}'`);
    if (password.length < 6) throw new Parse.Error(Parse.Error.PASSWORD_MISSING, 'password must have at least 6 characters');
    if (role !== 'ROLE_COMPANY_EMPLOYEE') throw new Parse.Error(Parse.Error.OPERATION_FORBIDDEN, `role '${role}' cannot be chosen at registration`);

    let company;
    try {
      company = await new Parse.Query('Company').get(companyId, MASTER);
    } catch (e) {
      if (e.code === Parse.Error.OBJECT_NOT_FOUND) throw new Parse.Error(Parse.Error.OBJECT_NOT_FOUND, `company ${companyId} not found`);
      throw e;
    }
    if (company.get('name') !== DEMO_COMPANY_NAME) {
      throw new Parse.Error(Parse.Error.OPERATION_FORBIDDEN, 'this company does not accept registrations');
    }

    const user = new Parse.User();
    user.set('username', email);
    user.set('email', email);
    user.set('password', password);
    user.set('fullName', fullName);
    user.set('company', Parse.Object.extend('Company').createWithoutData(company.id));
    await user.save(null, MASTER);

    const employees = await new Parse.Query(Parse.Role).equalTo('name', 'ROLE_COMPANY_EMPLOYEE').first(MASTER);
    if (!employees) throw new Parse.Error(Parse.Error.INTERNAL_SERVER_ERROR, 'role ROLE_COMPANY_EMPLOYEE is missing');
    employees.getUsers().add(user);
    await employees.save(null, MASTER);
    return user.id;
  });

  // Sends a reset link to the user named by "username" (an e-mail address). An unknown address
  // is answered like a known one, so the function does not tell who has an account.
  Parse.Cloud.define('requestPasswordReset', async (req) => {
    const p = req.params;
    if (p.schema !== undefined && typeof p.schema !== 'string') throw invalid('parameter "schema" must be a string');
    const given = stringParam(p, 'username').trim();
    if (!EMAIL_RE.test(given)) throw new Parse.Error(Parse.Error.INVALID_EMAIL_ADDRESS, `invalid e-mail address '${given}'`);
    const byName = new Parse.Query(Parse.User).equalTo('username', given);
    const byMail = new Parse.Query(Parse.User).equalTo('email', given);
    const user = await Parse.Query.or(byName, byMail).first(MASTER);
    const email = user?.get('email');
    if (!email) return true;
    await Parse.User.requestPasswordReset(email);
    return true;
  });
}
