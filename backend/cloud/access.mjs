// Object-level access: every record gets an ACL derived from the company it belongs to, every
// company has one role holding all its users, and only company managers write catalogue records.
//
//   Company               read: its company role (plus everyone for the demonstration company)
//   Catalog               read: the company role of its "company"
//   Component, Material,  read and write: the company role of their catalog's company; a write
//   Scene, MarketingList- by a client must come from a member of ROLE_COMPANY_MANAGER whose own
//   Item, AnchorObject    company owns the catalog
//   ModelMeasuringUnit,   read: everyone (the class-level permissions still ask for a session
//   UnsupportedAppVersion where they should)
//   company role          read: its own members; written by the server only
//   standard roles        read: everyone; written with the master key only
//
// An ACL given explicitly with the master key is kept, so tests can build odd records on purpose.

import {
  CATALOG_SCOPED_CLASSES,
  DEMO_COMPANY_NAME,
  STANDARD_ROLES,
  companyRoleName,
} from '../lib/settings.mjs';

const MASTER = { useMasterKey: true };

function forbidden(message) {
  return new Parse.Error(Parse.Error.OPERATION_FORBIDDEN, message);
}

async function getOrNull(className, id) {
  if (!id) return null;
  try {
    return await new Parse.Query(className).get(id, MASTER);
  } catch (e) {
    if (e.code === Parse.Error.OBJECT_NOT_FOUND) return null;
    throw e;
  }
}

function pointerId(value, className) {
  if (value && typeof value === 'object' && value.className === className && typeof value.id === 'string') return value.id;
  return null;
}

export async function companyIdOfCatalog(catalogPointer) {
  const id = pointerId(catalogPointer, 'Catalog');
  if (!id) return null;
  const catalog = await getOrNull('Catalog', id);
  return pointerId(catalog?.get('company'), 'Company');
}

export function companyReadAcl(companyId, { write = false, publicRead = false } = {}) {
  const acl = new Parse.ACL();
  const role = companyRoleName(companyId);
  acl.setRoleReadAccess(role, true);
  if (write) acl.setRoleWriteAccess(role, true);
  if (publicRead) acl.setPublicReadAccess(true);
  return acl;
}

function masterOnlyAcl() {
  return new Parse.ACL();
}

function publicReadAcl() {
  const acl = new Parse.ACL();
  acl.setPublicReadAccess(true);
  return acl;
}

export async function findRole(name) {
  return new Parse.Query(Parse.Role).equalTo('name', name).first(MASTER);
}

async function ensureRole(name, aclFactory) {
  const existing = await findRole(name);
  if (existing) return existing;
  const role = new Parse.Role(name, aclFactory());
  try {
    await role.save(null, MASTER);
    return role;
  } catch (e) {
    // Another process or request created it in the meantime.
    if (e.code === Parse.Error.DUPLICATE_VALUE) {
      const again = await findRole(name);
      if (again) return again;
    }
    throw e;
  }
}

export function ensureCompanyRole(companyId) {
  const name = companyRoleName(companyId);
  return ensureRole(name, () => {
    const acl = new Parse.ACL();
    acl.setRoleReadAccess(name, true);
    return acl;
  });
}

export async function ensureStandardRoles() {
  for (const name of STANDARD_ROLES) await ensureRole(name, publicReadAcl);
}

export async function isUserInRole(user, roleName) {
  const count = await new Parse.Query(Parse.Role).equalTo('name', roleName).equalTo('users', user).count(MASTER);
  return count > 0;
}

async function userCompanyId(user) {
  let company = user.get('company');
  if (company === undefined) {
    const fresh = await getOrNull('_User', user.id);
    company = fresh?.get('company');
  }
  return pointerId(company, 'Company');
}

function installCatalogScopedTriggers(className) {
  Parse.Cloud.beforeSave(className, async (req) => {
    const obj = req.object;
    const isNew = !req.original;
    const catalogChanged = isNew || obj.dirty('catalog');

    if (req.master) {
      // Keep an ACL the caller gave; derive one otherwise.
      if ((isNew && !obj.getACL()) || (!isNew && catalogChanged && !obj.dirty('ACL'))) {
        const companyId = await companyIdOfCatalog(obj.get('catalog'));
        obj.setACL(companyId ? companyReadAcl(companyId, { write: true }) : masterOnlyAcl());
      }
      return;
    }

    const user = req.user;
    if (!user) throw forbidden('sign in to change catalogue records');
    const catalog = obj.get('catalog');
    if (!pointerId(catalog, 'Catalog')) {
      throw new Parse.Error(Parse.Error.VALIDATION_ERROR, `${className} needs a "catalog" pointer to a Catalog`);
    }
    const companyId = await companyIdOfCatalog(catalog);
    if (!companyId) throw new Parse.Error(Parse.Error.OBJECT_NOT_FOUND, 'catalog not found');
    if ((await userCompanyId(user)) !== companyId) throw forbidden('the catalog belongs to another company');
    if (!(await isUserInRole(user, 'ROLE_COMPANY_MANAGER'))) throw forbidden('only company managers change catalogue records');
    obj.setACL(companyReadAcl(companyId, { write: true }));
  });

  Parse.Cloud.beforeDelete(className, async (req) => {
    if (req.master) return;
    const user = req.user;
    if (!user) throw forbidden('sign in to delete catalogue records');
    const companyId = await companyIdOfCatalog(req.object.get('catalog'));
    if (!companyId || (await userCompanyId(user)) !== companyId) throw forbidden('the record belongs to another company');
    if (!(await isUserInRole(user, 'ROLE_COMPANY_MANAGER'))) throw forbidden('only company managers delete catalogue records');
  });
}

export function installAccessTriggers() {
  for (const className of CATALOG_SCOPED_CLASSES) installCatalogScopedTriggers(className);

  Parse.Cloud.beforeSave('Catalog', async (req) => {
    const obj = req.object;
    const isNew = !req.original;
    if ((isNew && !obj.getACL()) || (!isNew && obj.dirty('company') && !obj.dirty('ACL'))) {
      const companyId = pointerId(obj.get('company'), 'Company');
      obj.setACL(companyId ? companyReadAcl(companyId) : masterOnlyAcl());
    }
  });

  // A new company's id is known only after it is stored, so its ACL is finished in afterSave.
  Parse.Cloud.beforeSave('Company', async (req) => {
    if (!req.original && !req.object.getACL()) {
      req.context.vantrelDeriveAcl = true;
      req.object.setACL(masterOnlyAcl());
    }
  });
  Parse.Cloud.afterSave('Company', async (req) => {
    const company = req.object;
    await ensureCompanyRole(company.id);
    if (req.context?.vantrelDeriveAcl) {
      const acl = companyReadAcl(company.id, { publicRead: company.get('name') === DEMO_COMPANY_NAME });
      const update = Parse.Object.extend('Company').createWithoutData(company.id);
      update.setACL(acl);
      await update.save(null, MASTER);
    }
  });
  Parse.Cloud.afterDelete('Company', async (req) => {
    const role = await findRole(companyRoleName(req.object.id));
    if (role) await role.destroy(MASTER);
  });

  for (const className of ['ModelMeasuringUnit', 'UnsupportedAppVersion']) {
    Parse.Cloud.beforeSave(className, async (req) => {
      if (!req.original && !req.object.getACL()) req.object.setACL(publicReadAcl());
    });
  }

  Parse.Cloud.beforeSave(Parse.User, async (req) => {
    if (req.master) return;
    const obj = req.object;
    if (obj.dirty('company')) throw forbidden('only the server assigns a user to a company');
    if (obj.dirty('emailVerified')) throw forbidden("clients aren't allowed to set emailVerified");
  });

  // Keep the company role's members in step with the users' "company" pointers.
  Parse.Cloud.afterSave(Parse.User, async (req) => {
    const before = pointerId(req.original?.get('company'), 'Company');
    const after = pointerId(req.object.get('company'), 'Company');
    if (before === after && req.original) return;
    const user = Parse.User.createWithoutData(req.object.id);
    if (before && before !== after) {
      const old = await findRole(companyRoleName(before));
      if (old) {
        old.getUsers().remove(user);
        await old.save(null, MASTER);
      }
    }
    if (after) {
      const role = await ensureCompanyRole(after);
      role.getUsers().add(user);
      await role.save(null, MASTER);
    }
  });
}
