// The run summary to and from JSON, key by key as each struct lists its keys.

#include <algorithm>
#include <cmath>
#include <map>
#include <type_traits>

#include "velmorantique/summary.h"

namespace vel {

namespace {

using nlohmann::json;

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsOmittable : std::false_type {};
template <class T>
struct IsOmittable<Omittable<T>> : std::true_type {};
template <class T>
struct IsList : std::false_type {};
template <class T>
struct IsList<std::vector<T>> : std::true_type {};
template <class T, size_t N>
struct IsList<std::array<T, N>> : std::true_type {};
template <class T>
struct IsNamed : std::false_type {};
template <class T>
struct IsNamed<std::map<std::string, T>> : std::true_type {};

template <class T>
json toJson(const T& value) {
  if constexpr (std::is_same_v<T, double>) {
    return std::isfinite(value) ? json(value) : json(nullptr);
  } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, long long> || std::is_same_v<T, bool>) {
    return json(value);
  } else if constexpr (IsOptional<T>::value || IsOmittable<T>::value) {
    return value ? toJson(*value) : json(nullptr);
  } else if constexpr (IsList<T>::value) {
    json list = json::array();
    for (const auto& item : value) list.push_back(toJson(item));
    return list;
  } else if constexpr (IsNamed<T>::value) {
    json object = json::object();
    for (const auto& [name, item] : value) object[name] = toJson(item);
    return object;
  } else {
    json object = json::object();
    T::keys(value, [&object](const char* name, const auto& member) {
      using Member = std::decay_t<decltype(member)>;
      if constexpr (IsOmittable<Member>::value)
        if (!member) return;
      object[name] = toJson(member);
    });
    return object;
  }
}

// The value's empty state where the document holds no value of the member's
// type; false in that case.
template <class T>
bool fromJson(const json& j, T& value) {
  if constexpr (std::is_same_v<T, double>) {
    value = j.is_number() ? j.get<double>() : kNoValue;
    return j.is_number() || j.is_null();
  } else if constexpr (std::is_same_v<T, std::string>) {
    value = j.is_string() ? j.get<std::string>() : std::string();
    return j.is_string();
  } else if constexpr (std::is_same_v<T, bool>) {
    value = j.is_boolean() && j.get<bool>();
    return j.is_boolean();
  } else if constexpr (std::is_same_v<T, long long>) {
    // A whole number the type holds: an unsigned one beyond it is no count.
    constexpr auto kLargest = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    const bool whole = j.is_number_integer() && (!j.is_number_unsigned() || j.get<unsigned long long>() <= kLargest);
    value = whole ? j.get<long long>() : 0;
    return whole;
  } else if constexpr (IsOptional<T>::value || IsOmittable<T>::value) {
    value.reset();
    if (j.is_null() && IsOptional<T>::value) return true;
    typename T::value_type inner{};
    if (!fromJson(j, inner)) return false;
    value = std::move(inner);
    return true;
  } else if constexpr (IsList<T>::value) {
    using Item = typename T::value_type;
    if constexpr (std::is_same_v<T, std::vector<Item>>) {
      value.clear();
      if (!j.is_array()) return false;
      for (const json& element : j) {
        Item item{};
        // A word that is no word (in "warnings") is left out; every other
        // list keeps its positions, with the item's empty value.
        if (fromJson(element, item) || !std::is_same_v<Item, std::string>) value.push_back(std::move(item));
      }
      return true;
    }
    // A fixed-length list: each position read where the document has it.
    for (size_t i = 0; i < value.size(); ++i) fromJson(j.is_array() && i < j.size() ? j[i] : json(), value[i]);
    return j.is_array();
  } else if constexpr (IsNamed<T>::value) {
    // Values by name; a name whose value is of the wrong kind is left out.
    value.clear();
    if (!j.is_object()) return false;
    for (const auto& [name, element] : j.items()) {
      typename T::mapped_type item{};
      if (fromJson(element, item)) value[name] = item;
    }
    return true;
  } else {
    value = T{};
    if (!j.is_object()) return false;
    T::keys(value, [&j](const char* name, auto& member) {
      const auto it = j.find(name);
      if (it != j.end()) fromJson(*it, member);
    });
    return true;
  }
}

}  // namespace

bool RunSummary::hasWarning(const std::string& w) const {
  return std::find(warnings.begin(), warnings.end(), w) != warnings.end();
}

const SummaryTopEntry* RunSummary::topEntry(const std::string& set) const {
  for (const SummaryTopEntry& entry : top)
    if (entry.set == set) return &entry;
  return nullptr;
}

nlohmann::json summaryToJson(const RunSummary& summary) { return toJson(summary); }

RunSummary summaryFromJson(const nlohmann::json& document) {
  RunSummary summary;
  fromJson(document, summary);
  return summary;
}

}  // namespace vel
