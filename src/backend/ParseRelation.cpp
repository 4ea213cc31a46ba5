#include "vantrel/backend/ParseRelation.hpp"

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseQuery.hpp"

namespace vantrel {

ParseRelation::ParseRelation(std::string targetClassName) : targetClassName_(std::move(targetClassName)) {}

ParseRelation::ParseRelation(const std::shared_ptr<ParseObject>& parent, std::string key, std::string targetClassName)
    : parent_(parent), key_(std::move(key)), targetClassName_(std::move(targetClassName)) {}

ParseQuery ParseRelation::query() const {
    ParseQuery query(targetClassName_);
    if (auto parent = parent_.lock()) query.whereRelatedTo(parent, key_);
    return query;
}

void ParseRelation::addObject(const std::shared_ptr<ParseObject>& object) { change(object, true); }
void ParseRelation::removeObject(const std::shared_ptr<ParseObject>& object) { change(object, false); }

void ParseRelation::change(const std::shared_ptr<ParseObject>& object, bool add) {
    auto parent = parent_.lock();
    if (!parent || !object) return;
    if (targetClassName_.empty()) targetClassName_ = object->className();
    parent->addRelationOperation(key_, targetClassName_, object->pointerJSON(), add);
}

}  // namespace vantrel
