#include "run/status_reader.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <vector>

#include "config/settings_file.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "run/report.h"

namespace vesk {
namespace {

// Read back into std::map objects: a key is found in logarithmic time however many there are.
using Json = nlohmann::json;

constexpr std::string_view schemaText =
#include "status_schema.inc"
    ;

/// Builds the parsed value as nlohmann's SAX parser hands it over, on a stack of its own rather
/// than by recursion, and stops at the first thing beyond the bounds.
class BoundedDom {
 public:
  explicit BoundedDom(Json& root) : root_(root) {}

  bool null() { return add(nullptr); }
  bool boolean(bool value) { return add(value); }
  bool number_integer(Json::number_integer_t value) { return add(value); }
  bool number_unsigned(Json::number_unsigned_t value) { return add(value); }
  bool number_float(Json::number_float_t value, const std::string&) { return add(value); }
  bool string(std::string& value) { return add(std::move(value)); }
  bool binary(Json::binary_t&) { return refuse("not valid JSON"); }
  bool start_object(std::size_t) { return open(Json::object()); }
  bool start_array(std::size_t) { return open(Json::array()); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }
  bool key(std::string& name) {
    // JSON leaves a key twice to the reader; which one is meant cannot be told.
    if (open_.back()->contains(name)) return refuse("not valid JSON: key \"" + name + "\" twice");
    key_ = std::move(name);
    return true;
  }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
    return refuse("not valid JSON at byte " + std::to_string(position));
  }

  const std::string& reason() const { return reason_; }

 private:
  bool refuse(std::string reason) {
    if (reason_.empty()) reason_ = std::move(reason);
    return false;
  }
  /// Places value in the innermost open array or object; its address stays valid while it is
  /// open, since nothing else is added to its parent until it closes.
  Json* place(Json&& value) {
    if (++values_ > maxStatusValues) return nullptr;
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& parent = *open_.back();
    if (parent.is_array()) {
      parent.push_back(std::move(value));
      return &parent.back();
    }
    return &(parent[key_] = std::move(value));
  }
  bool add(Json&& value) {
    if (!place(std::move(value)))
      return refuse("more than " + std::to_string(maxStatusValues) + " values");
    return true;
  }
  bool open(Json&& value) {
    if (open_.size() == maxStatusDepth)
      return refuse("nested deeper than " + std::to_string(maxStatusDepth) + " levels");
    Json* placed = place(std::move(value));
    if (!placed) return refuse("more than " + std::to_string(maxStatusValues) + " values");
    open_.push_back(placed);
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  Json& root_;
  std::vector<Json*> open_;
  std::string key_;
  size_t values_ = 0;
  std::string reason_;
};

/// Checks a value against the schema, by the keywords that the schema uses; the first thing it
/// does not allow, by the path of the field, or empty when it allows it all.
class SchemaCheck {
 public:
  explicit SchemaCheck(const Json& schema) : schema_(schema) {}

  std::string problem(const Json& value, const Json& rule, const std::string& where) const {
    if (const auto ref = rule.find("$ref"); ref != rule.end())
      return problem(value, schema_.at(Json::json_pointer(ref->get<std::string>().substr(1))),
                     where);
    if (const auto one = rule.find("oneOf"); one != rule.end()) {
      size_t matches = 0;
      std::string first;
      for (const Json& choice : *one) {
        std::string found = problem(value, choice, where);
        if (found.empty()) ++matches;
        if (first.empty()) first = found;
      }
      if (matches != 1) return matches == 0 ? first : where + ": more than one form";
    }
    if (const auto type = rule.find("type"); type != rule.end() && !hasType(value, *type))
      return where + ": a field of the wrong type";
    if (const auto only = rule.find("const"); only != rule.end() && value != *only)
      return where + ": not " + only->dump();
    if (const auto values = rule.find("enum"); values != rule.end()) {
      bool listed = false;
      for (const Json& allowed : *values) listed = listed || value == allowed;
      if (!listed) return where + ": not a value of its list";
    }
    if (value.is_number()) {
      const auto low = rule.find("minimum"), high = rule.find("maximum");
      if ((low != rule.end() && value < *low) || (high != rule.end() && value > *high))
        return where + ": out of range";
    }
    if (value.is_array()) return arrayProblem(value, rule, where);
    if (value.is_object()) return objectProblem(value, rule, where);
    return "";
  }

 private:
  static bool hasType(const Json& value, const Json& types) {
    if (types.is_array()) {
      for (const Json& type : types)
        if (hasType(value, type)) return true;
      return false;
    }
    const std::string type = types.get<std::string>();
    if (type == "integer")
      return value.is_number_integer() ||
             (value.is_number_float() && std::trunc(value.get<double>()) == value.get<double>());
    return (type == "string" && value.is_string()) || (type == "null" && value.is_null()) ||
           (type == "object" && value.is_object()) || (type == "array" && value.is_array()) ||
           (type == "number" && value.is_number()) || (type == "boolean" && value.is_boolean());
  }

  std::string arrayProblem(const Json& value, const Json& rule, const std::string& where) const {
    if (const auto most = rule.find("maxItems");
        most != rule.end() && value.size() > most->get<size_t>())
      return where + ": too many items";
    if (const auto items = rule.find("items"); items != rule.end())
      for (size_t i = 0; i < value.size(); ++i)
        if (std::string found = problem(value[i], *items, where + "[" + std::to_string(i) + "]");
            !found.empty())
          return found;
    return "";
  }

  std::string objectProblem(const Json& value, const Json& rule, const std::string& where) const {
    const std::string prefix = where.empty() ? "" : where + ".";
    const auto properties = rule.find("properties");
    if (const auto required = rule.find("required"); required != rule.end())
      for (const Json& name : *required)
        if (!value.contains(name.get<std::string>()))
          return prefix + name.get<std::string>() + ": missing";
    for (const auto& [name, field] : value.items()) {
      const bool known = properties != rule.end() && properties->contains(name);
      if (!known) {
        if (rule.value("additionalProperties", true) == false)
          return prefix + name + ": not a field of the status file";
        continue;
      }
      if (std::string found = problem(field, properties->at(name), prefix + name); !found.empty())
        return found;
    }
    return "";
  }

  const Json& schema_;
};

/// Throws when the schema uses a keyword that SchemaCheck does not know: it would be ignored.
void checkKeywords(const Json& rule) {
  static const std::set<std::string> known = {"$schema",
                                              "$id",
                                              "title",
                                              "description",
                                              "$defs",
                                              "$ref",
                                              "oneOf",
                                              "type",
                                              "const",
                                              "enum",
                                              "minimum",
                                              "maximum",
                                              "maxItems",
                                              "items",
                                              "properties",
                                              "required",
                                              "additionalProperties"};
  for (const auto& [keyword, value] : rule.items()) {
    if (!known.count(keyword)) throw std::logic_error("schema keyword not checked: " + keyword);
    if (keyword == "$defs" || keyword == "properties")
      for (const auto& [name, inner] : value.items()) checkKeywords(inner);
    else if (keyword == "items" || keyword == "additionalProperties")
      value.is_object() ? checkKeywords(value) : void();
    else if (keyword == "oneOf")
      for (const Json& inner : value) checkKeywords(inner);
  }
}

/// The schema, parsed once.
const Json& schema() {
  static const Json parsed = [] {
    Json schema = Json::parse(schemaText);
    checkKeywords(schema);
    return schema;
  }();
  return parsed;
}

std::optional<std::string> textOf(System& system, const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return std::nullopt;
  // Back to the ANSI code page, as settings files in UTF-8 are read.
  return settingsFileText(system, found->get<std::string>());
}

/// The client of a "still running" database record.
std::optional<ClientProcess> stillRunningClient(System& system, const Json& database) {
  if (!database.is_object() || database.at("outcome") != "still running") return std::nullopt;
  const std::optional<std::string> output = textOf(system, database, "output");
  if (!output) return std::nullopt;
  ClientProcess client;
  client.outputPath = *output;
  client.program = textOf(system, database, "client").value_or("");
  client.clientStart = textOf(system, database, "clientStart").value_or("");
  // The identity, when the file has it whole; without it the client counts as ended.
  const Json& id = database.at("clientProcessId");
  const std::optional<std::string> created = textOf(system, database, "clientCreated");
  if (id.is_number_integer() && created && !created->empty() && created->size() <= 19 &&
      created->find_first_not_of("0123456789") == std::string::npos) {
    client.processId = id.get<uint32_t>();
    client.creationTime = std::stoull(*created);
  }
  return client;
}

}  // namespace

std::string_view statusSchemaText() { return schemaText; }

StatusReading readStatusText(System& system, std::string_view text) {
  if (startsWith(text, "\xFF\xFE") || startsWith(text, "\xFE\xFF") ||
      text.find('\0') != std::string_view::npos)
    return {std::nullopt, "not valid JSON: UTF-16, not UTF-8"};
  Json status;
  BoundedDom dom(status);
  // Without exceptions: a fault of the text is the handler's reason, never a throw.
  if (!Json::sax_parse(text, &dom, nlohmann::detail::input_format_t::json, true, false))
    return {std::nullopt, dom.reason().empty() ? "not valid JSON" : dom.reason()};
  if (!status.is_object() || status.value("program", Json()) != "veskbackup")
    return {std::nullopt, "not a status file of this program"};
  if (!status.contains("schemaVersion"))
    return {std::nullopt, "written by a release before schemaVersion 1"};
  if (std::string problem = SchemaCheck(schema()).problem(status, schema(), ""); !problem.empty())
    return {std::nullopt, problem};

  PreviousStatus previous;
  previous.stillRunning = stillRunningClient(system, status.at("database"));
  previous.lastSuccess = textOf(system, status, "lastSuccess");
  return {previous, ""};
}

std::optional<StatusReading> readStatusFile(Files& files, System& system, const std::string& path) {
  std::optional<std::string> text;
  try {
    if (!files.fileExists(path)) return std::nullopt;
    text = files.readFileWithin(path, maxStatusFileSize);
  } catch (const Failure& failure) {
    if (failure.cause == FileCause::inUse)
      return StatusReading{std::nullopt, "held by another program"};
    return StatusReading{std::nullopt, "not readable, " + reported(failure).description};
  }
  if (!text) return StatusReading{std::nullopt, "larger than 8 MiB, not read"};
  return readStatusText(system, *text);
}

}  // namespace vesk
