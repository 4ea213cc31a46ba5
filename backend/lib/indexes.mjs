// Indexes for the query shapes of the library's services, created at every start. Parse Server
// makes the tables and the indexes of the schema definitions; these cover what the services
// actually ask: a catalogue's records in pages ordered by object id (and the catch-up listing,
// which pages by "objectId greater than the last"), list items by parent and index, a component
// by product number, the version check by application and version. Creating them again is a
// no-op, so a restart costs nothing.

const CATALOGUE_CLASSES = ['Component', 'Material', 'Scene', 'AnchorObject', 'MarketingListItem'];

const quote = (name) => `"${name.replace(/"/g, '""')}"`;

export const QUERY_INDEXES = [
  ...CATALOGUE_CLASSES.map((className) => ({ className, columns: ['catalog', 'objectId'] })),
  { className: 'MarketingListItem', columns: ['catalog', 'parent', 'index', 'objectId'] },
  { className: 'MarketingListItem', columns: ['catalog', 'type', 'parent', 'index', 'objectId'] },
  { className: 'Component', columns: ['catalog', 'productNumber'] },
  { className: 'UnsupportedAppVersion', columns: ['app', 'version'] },
];

/// The statement that creates one index; the name is the class and its columns.
export function indexStatement({ className, columns }) {
  const name = `${className}_q_${columns.join('_')}`;
  return `CREATE INDEX IF NOT EXISTS ${quote(name)} ON ${quote(className)} (${columns.map(quote).join(', ')})`;
}

/// Creates every index that is missing; `db` is a pg-promise database (the adapter's client).
export async function ensureQueryIndexes(db) {
  for (const index of QUERY_INDEXES) await db.none(indexStatement(index));
  return QUERY_INDEXES.length;
}
