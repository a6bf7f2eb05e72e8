#include "JsonSchemaCheck.h"

#include <regex>

namespace velmar::test {

namespace {

using nlohmann::json;

bool HasType(const json& value, const std::string& type) {
    if (type == "object") return value.is_object();
    if (type == "array") return value.is_array();
    if (type == "string") return value.is_string();
    if (type == "integer") return value.is_number_integer();
    if (type == "number") return value.is_number();
    if (type == "boolean") return value.is_boolean();
    if (type == "null") return value.is_null();
    return false;
}

void Check(const json& schema, const json& value, const std::string& path,
           std::vector<std::string>& problems) {
    const auto fail = [&](const std::string& problem) {
        problems.push_back(path + ": " + problem);
    };
    if (schema.contains("type")) {
        const json& type = schema["type"];
        bool ok = false;
        for (const json& t : type.is_array() ? type : json::array({type}))
            ok = ok || HasType(value, t.get<std::string>());
        if (!ok) return fail("not of type " + type.dump());
    }
    if (schema.contains("enum")) {
        bool found = false;
        for (const json& e : schema["enum"])
            found = found || e == value;
        if (!found) fail(value.dump() + " is not one of " + schema["enum"].dump());
    }
    if (value.is_number()) {
        if (schema.contains("minimum") && value.get<double>() < schema["minimum"].get<double>())
            fail("below the minimum");
        if (schema.contains("maximum") && value.get<double>() > schema["maximum"].get<double>())
            fail("above the maximum");
    }
    if (value.is_string() && schema.contains("pattern") &&
        !std::regex_search(value.get<std::string>(),
                           std::regex(schema["pattern"].get<std::string>())))
        fail(value.dump() + " does not match " + schema["pattern"].get<std::string>());
    if (value.is_object()) {
        if (schema.contains("required"))
            for (const json& key : schema["required"])
                if (!value.contains(key.get<std::string>())) fail("lacks " + key.dump());
        const json properties = schema.value("properties", json::object());
        for (const auto& [key, item] : value.items()) {
            if (properties.contains(key))
                Check(properties[key], item, path + "." + key, problems);
            else if (schema.value("additionalProperties", true) == false)
                fail("has the unknown key " + key);
        }
    }
    if (value.is_array() && schema.contains("items"))
        for (std::size_t i = 0; i < value.size(); ++i)
            Check(schema["items"], value[i], path + "[" + std::to_string(i) + "]", problems);
}

} // namespace

std::vector<std::string> SchemaProblems(const nlohmann::json& schema, const nlohmann::json& value) {
    std::vector<std::string> problems;
    Check(schema, value, "$", problems);
    return problems;
}

} // namespace velmar::test
