#pragma once
// Checks a JSON value against a JSON Schema, as far as the schemas kept in
// this repository use it: type, enum, required, properties,
// additionalProperties false, items, minimum, maximum and pattern.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace velmar::test {

// Every place where `value` breaks `schema`, as "path: problem"; empty when
// it conforms.
std::vector<std::string> SchemaProblems(const nlohmann::json& schema, const nlohmann::json& value);

} // namespace velmar::test
