// Class definitions applied at every start with the master key: fields, indexes and class-level
// permissions. Object-level access (ACLs) is assigned by the cloud triggers in cloud/access.mjs.
//
// Permission scheme, in short:
//   - nobody but the master key creates classes, adds fields, or writes roles, companies,
//     catalogs, measuring units and the unsupported-version list;
//   - catalogue records (Component, Material, Scene, MarketingListItem, AnchorObject) can be
//     read by signed-in users whose company role the record's ACL names; company managers may
//     write them (checked in the triggers);
//   - the unsupported-version list is readable by anyone, signed in or not.

const MASTER_ONLY = {};
const SIGNED_IN = { requiresAuthentication: true };
const ANYONE = { '*': true };

function clp({ read = SIGNED_IN, write = MASTER_ONLY, create = write } = {}) {
  return {
    get: read,
    find: read,
    count: read,
    create,
    update: write,
    delete: write,
    addField: MASTER_ONLY,
    protectedFields: { '*': [] },
  };
}

const S = { type: 'String' };
const N = { type: 'Number' };
const B = { type: 'Boolean' };
const A = { type: 'Array' };
const O = { type: 'Object' };
const ptr = (targetClass) => ({ type: 'Pointer', targetClass });
const rel = (targetClass) => ({ type: 'Relation', targetClass });

const catalogScoped = {
  catalog: ptr('Catalog'),
  inDraftBy: S,
};

const modelFiles = {
  name: S,
  thumbnailFilePath: S,
  scnModelFilePath: S,
  scnModelAssetFilePaths: A,
  fileSizes: A,
};

// PostgreSQL index names are global to the schema, so every name carries its class.
const catalogIndex = (className) => ({ [`${className}_catalog`]: { catalog: 1 } });

export const SCHEMA_DEFINITIONS = [
  {
    className: 'Company',
    fields: {
      name: S,
      logoFilePath: S,
      watermarkFilePath: S,
      watermarkPosition: S,
      watermarkWidthFactor: N,
      watermarkAlpha: N,
      watermarkPoweredbyPosition: S,
      watermarkPoweredbyWidthFactor: N,
      watermarkPoweredbyAlpha: N,
      conceptAbility: B,
      orderAbility: B,
      liveChatAbility: B,
      extraProductUrlParams: S,
    },
    indexes: { Company_name: { name: 1 } },
    // The demonstration company is found by name before anybody signs in, so reads are open;
    // the ACL of every other company limits them to that company's users.
    classLevelPermissions: clp({ read: ANYONE }),
  },
  {
    className: 'Catalog',
    fields: { company: ptr('Company'), name: S },
    indexes: { Catalog_company: { company: 1 } },
    classLevelPermissions: clp(),
  },
  {
    className: 'ModelMeasuringUnit',
    fields: { name: S, factor: N },
    classLevelPermissions: clp(),
  },
  {
    className: 'UnsupportedAppVersion',
    fields: { app: S, version: S },
    indexes: { UnsupportedAppVersion_app_version: { app: 1, version: 1 } },
    classLevelPermissions: clp({ read: ANYONE }),
  },
  {
    className: 'Component',
    fields: {
      ...catalogScoped,
      ...modelFiles,
      parent: ptr('Component'),
      appName: S,
      productNumber: S,
      price: N,
      description: S,
      isFloating: B,
      scnModelMeasuringUnit: ptr('ModelMeasuringUnit'),
      snappingAreas: A,
      anchorObjectConnections: A,
      nodesToTags: A,
      tagsToMaterials: A,
      combinations: A,
      variances: rel('Component'),
      productLink: S,
      images: O,
    },
    indexes: { ...catalogIndex('Component'), Component_catalog_productNumber: { catalog: 1, productNumber: 1 } },
    classLevelPermissions: clp({ write: SIGNED_IN }),
  },
  {
    className: 'Material',
    fields: { ...catalogScoped, name: S, scnProperties: O },
    indexes: catalogIndex('Material'),
    classLevelPermissions: clp({ write: SIGNED_IN }),
  },
  {
    className: 'Scene',
    fields: { ...catalogScoped, lightingEnvironment: O },
    indexes: catalogIndex('Scene'),
    classLevelPermissions: clp({ write: SIGNED_IN }),
  },
  {
    className: 'MarketingListItem',
    fields: {
      ...catalogScoped,
      parent: ptr('MarketingListItem'),
      component: ptr('Component'),
      type: S,
      label: S,
      description: S,
      imagePath: S,
      enabled: B,
      showPreview: B,
      textColor: S,
      index: N,
      automaticDownloadingVariances: B,
    },
    indexes: { ...catalogIndex('MarketingListItem'), MarketingListItem_catalog_index: { catalog: 1, index: 1 } },
    classLevelPermissions: clp({ write: SIGNED_IN }),
  },
  {
    className: 'AnchorObject',
    fields: { ...catalogScoped, ...modelFiles },
    indexes: catalogIndex('AnchorObject'),
    classLevelPermissions: clp({ write: SIGNED_IN }),
  },
  {
    className: '_User',
    fields: { fullName: S, company: ptr('Company') },
    classLevelPermissions: {
      get: SIGNED_IN,
      find: MASTER_ONLY,
      count: MASTER_ONLY,
      create: MASTER_ONLY,
      update: SIGNED_IN,
      delete: MASTER_ONLY,
      addField: MASTER_ONLY,
      protectedFields: { '*': ['email'] },
    },
  },
  {
    className: '_Role',
    classLevelPermissions: clp(),
  },
];

// Keys and indexes that a class must carry after start; the server checks them and refuses to run on a
// database where the migration did not take.
export function expectedFields() {
  const out = {};
  for (const def of SCHEMA_DEFINITIONS) {
    out[def.className] = { fields: Object.keys(def.fields || {}), indexes: Object.keys(def.indexes || {}) };
  }
  return out;
}
