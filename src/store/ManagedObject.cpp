#include "vantrel/store/ManagedObject.hpp"

#include "vantrel/store/ManagedObjectContext.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace vantrel {

namespace {

AttributeValue converted(AttributeType type, AttributeValue value) {
    const auto* integer = std::get_if<std::int64_t>(&value);
    const auto* real = std::get_if<double>(&value);
    const auto* flag = std::get_if<bool>(&value);
    const auto clampTo = [](double v, double low, double high) -> AttributeValue {
        if (!std::isfinite(v)) return std::monostate{};
        return static_cast<std::int64_t>(std::clamp(std::trunc(v), low, high));
    };
    const auto asInteger = [&](double low, double high) -> AttributeValue {
        if (integer) return std::clamp(*integer, static_cast<std::int64_t>(low), static_cast<std::int64_t>(high));
        if (real) return clampTo(*real, low, high);
        if (flag) return static_cast<std::int64_t>(*flag ? 1 : 0);
        return std::monostate{};
    };
    switch (type) {
        case AttributeType::integer16:
            return asInteger(std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max());
        case AttributeType::integer32:
            return asInteger(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
        case AttributeType::integer64:
            if (integer) return *integer;
            if (real) return clampTo(*real, -9.2e18, 9.2e18);
            if (flag) return static_cast<std::int64_t>(*flag ? 1 : 0);
            return std::monostate{};
        case AttributeType::float32:
        case AttributeType::float64: {
            std::optional<double> number;
            if (integer) number = static_cast<double>(*integer);
            if (real) number = *real;
            if (!number) return std::monostate{};
            return type == AttributeType::float32 ? static_cast<double>(static_cast<float>(*number)) : *number;
        }
        case AttributeType::boolean:
            if (flag) return *flag;
            if (integer) return *integer != 0;
            if (real) return *real != 0.0;
            return std::monostate{};
        case AttributeType::string:
            return std::holds_alternative<std::string>(value) ? std::move(value) : std::monostate{};
        case AttributeType::binaryData:
            return std::holds_alternative<Blob>(value) ? std::move(value) : std::monostate{};
        case AttributeType::date:
            if (std::holds_alternative<Date>(value)) return value;
            if (real) return dateFromSecondsSince1970(*real);
            return std::monostate{};
    }
    return std::monostate{};
}

}  // namespace

ManagedObject::ManagedObject() = default;
ManagedObject::~ManagedObject() = default;

const EntityDescription& ManagedObject::checkedEntity() const {
    if (!entity_) throw std::logic_error("the object was not made by a context");
    return *entity_;
}

const EntityDescription& ManagedObject::entity() const { return checkedEntity(); }

std::optional<std::int64_t> ManagedObject::objectID() const noexcept {
    if (key_ == 0) return std::nullopt;
    return key_;
}

const AttributeValue& ManagedObject::value(std::string_view key) const {
    const auto index = checkedEntity().attributeIndex(key);
    if (!index) throw std::invalid_argument("no attribute " + std::string(key) + " in " + entity_->name());
    return values_[*index];
}

void ManagedObject::setValue(std::string_view key, AttributeValue value) {
    const auto index = checkedEntity().attributeIndex(key);
    if (!index) throw std::invalid_argument("no attribute " + std::string(key) + " in " + entity_->name());
    auto next = converted(entity_->attributes()[*index].type, std::move(value));
    if (next == values_[*index]) return;
    markChanged();
    values_[*index] = std::move(next);
}

std::size_t ManagedObject::relationIndex(std::string_view key, bool toMany) const {
    const auto index = checkedEntity().relationshipIndex(key);
    if (!index || entity_->relationships()[*index].toMany != toMany) {
        throw std::invalid_argument(std::string("no ") + (toMany ? "to-many" : "to-one") + " relation " +
                                    std::string(key) + " in " + entity_->name());
    }
    return *index;
}

void ManagedObject::markChanged() {
    if (context_ && !inserted_ && !deleted_) context_->noteUpdated(*this);
}

std::int64_t ManagedObject::linkKey(std::size_t index) const {
    const auto& link = relations_[index].one;
    if (!link.resolved) return link.storedKey;
    const auto target = link.object.lock();
    return target ? target->key_ : 0;
}

void ManagedObject::checkSameContext(const std::shared_ptr<ManagedObject>& object,
                                     const RelationshipDescription& relation) const {
    if (!object) return;
    if (object->entity_ == nullptr || object->entity_->name() != relation.destinationEntityName) {
        throw std::invalid_argument("relation " + relation.name + " takes objects of " +
                                    relation.destinationEntityName);
    }
    if (object->context_ != context_) throw std::invalid_argument("related objects must live in the same context");
}

std::shared_ptr<ManagedObject> ManagedObject::resolveToOne(std::size_t index) {
    auto& link = relations_[index].one;
    if (!link.resolved) {
        std::shared_ptr<ManagedObject> target;
        if (context_ && link.storedKey != 0) {
            const auto* destination = context_->model().entity(entity_->relationships()[index].destinationEntityName);
            target = context_->objectForKey(*destination, link.storedKey);
        }
        link.object = target;
        link.resolved = true;
        return target;
    }
    auto target = link.object.lock();
    if (target && target->deleted_ && !target->context_) return nullptr;
    return target;
}

std::shared_ptr<ManagedObject> ManagedObject::toOne(std::string_view key) {
    return resolveToOne(relationIndex(key, false));
}

// Sets one end of a link and keeps the other end's list or pointer in step.
void ManagedObject::linkToOne(std::size_t index, const std::shared_ptr<ManagedObject>& object) {
    const auto& relation = entity_->relationships()[index];
    auto old = resolveToOne(index);
    if (old == object) return;
    const auto self = shared_from_this();
    const auto inverseOf = [&](const std::shared_ptr<ManagedObject>& other) {
        return *other->entity_->relationshipIndex(relation.inverseName);
    };
    if (old) {
        const auto inverse = inverseOf(old);
        if (old->entity_->relationships()[inverse].toMany) {
            old->markChanged();
            auto& list = old->relations_[inverse].many;
            if (list.loaded) std::erase(list.objects, self);
        } else if (old->resolveToOne(inverse) == self) {
            old->markChanged();
            old->relations_[inverse].one = {};
        }
    }
    markChanged();
    relations_[index].one = ToOneLink{object, 0, true};
    if (object) {
        const auto inverse = inverseOf(object);
        if (object->entity_->relationships()[inverse].toMany) {
            object->markChanged();
            auto& list = object->relations_[inverse].many;
            if (list.loaded && std::find(list.objects.begin(), list.objects.end(), self) == list.objects.end()) {
                list.objects.push_back(self);
            }
        } else {
            if (auto former = object->resolveToOne(inverse); former && former != self) {
                former->markChanged();
                former->relations_[index].one = {};
            }
            object->markChanged();
            object->relations_[inverse].one = ToOneLink{self, 0, true};
        }
    }
}

void ManagedObject::setToOne(std::string_view key, const std::shared_ptr<ManagedObject>& object) {
    const auto index = relationIndex(key, false);
    checkSameContext(object, entity_->relationships()[index]);
    if (deleted_ || (object && object->deleted_)) return;
    linkToOne(index, object);
}

const std::vector<std::shared_ptr<ManagedObject>>& ManagedObject::toMany(std::string_view key) {
    const auto index = relationIndex(key, true);
    if (!relations_[index].many.loaded && context_) context_->faultToMany(*this, index);
    return relations_[index].many.objects;
}

void ManagedObject::addToMany(std::string_view key, const std::shared_ptr<ManagedObject>& object) {
    const auto index = relationIndex(key, true);
    const auto& relation = entity_->relationships()[index];
    checkSameContext(object, relation);
    if (!object || deleted_ || object->deleted_) return;
    static_cast<void>(toMany(key));  // loaded, so that the inverse's update lands in the list
    object->linkToOne(*object->entity_->relationshipIndex(relation.inverseName), shared_from_this());
}

void ManagedObject::removeFromToMany(std::string_view key, const std::shared_ptr<ManagedObject>& object) {
    const auto index = relationIndex(key, true);
    if (!object || object.get() == this) return;
    const auto& relation = entity_->relationships()[index];
    if (object->entity_ == nullptr || object->entity_->name() != relation.destinationEntityName) return;
    const auto inverse = *object->entity_->relationshipIndex(relation.inverseName);
    if (object->resolveToOne(inverse).get() == this) object->linkToOne(inverse, nullptr);
}

std::optional<std::string> ManagedObject::textValue(std::string_view key) const {
    if (const auto* text = std::get_if<std::string>(&value(key))) return *text;
    return std::nullopt;
}

void ManagedObject::setTextValue(std::string_view key, const std::optional<std::string>& text) {
    setValue(key, text ? AttributeValue(*text) : AttributeValue());
}

std::int64_t ManagedObject::integerValue(std::string_view key) const {
    if (const auto* number = std::get_if<std::int64_t>(&value(key))) return *number;
    return 0;
}

double ManagedObject::floatValue(std::string_view key) const {
    if (const auto* number = std::get_if<double>(&value(key))) return *number;
    return 0.0;
}

bool ManagedObject::boolValue(std::string_view key) const {
    if (const auto* flag = std::get_if<bool>(&value(key))) return *flag;
    return false;
}

std::optional<Blob> ManagedObject::blobValue(std::string_view key) const {
    if (const auto* bytes = std::get_if<Blob>(&value(key))) return *bytes;
    return std::nullopt;
}

std::optional<Date> ManagedObject::dateValue(std::string_view key) const {
    if (const auto* date = std::get_if<Date>(&value(key))) return *date;
    return std::nullopt;
}

}  // namespace vantrel
