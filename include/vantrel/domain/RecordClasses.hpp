#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

namespace vantrel {

/// Makes the backend client hand back every record as an instance of its record class
/// (ComponentEntity for "Component", UserEntity for users, RoleEntity for roles...), whether it
/// comes as a query result, a linked record or a live event. The typed accessors rely on it.
///
/// Call once before the first backend request; calling again does no harm.
void registerRecordClasses();

}  // namespace vantrel

#pragma GCC visibility pop
