#include "json_output.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include <nlohmann/json.hpp>

#include "catalogue.hpp"
#include "text.hpp"

namespace kvt::json_output {

namespace {

using nlohmann::json;

json optional_string(const std::optional<std::string>& text) {
  return text ? json(*text) : json(nullptr);
}

// (200 tp + n) / 2n, i.e. 100 tp / n rounded half up; null when nothing was measured.
json recall_percent(std::uint32_t tp, std::uint32_t fn) {
  const std::uint64_t n = static_cast<std::uint64_t>(tp) + fn;
  if (n == 0) return json(nullptr);
  return json((200 * static_cast<std::uint64_t>(tp) + n) / (2 * n));
}

json recall_value(const std::optional<RecallStat>& recall, std::uint32_t min_n) {
  json out = json::object();
  if (!recall) {
    out["state"] = "unmeasured";
    return out;
  }
  const std::uint64_t n = static_cast<std::uint64_t>(recall->tp) + recall->fn;
  const char* state = n == 0 ? "unmeasured" : n < min_n ? "limited" : "measured";
  out["fn"] = recall->fn;
  out["tp"] = recall->tp;
  out["state"] = state;
  out["percent"] = n != 0 && n >= min_n ? recall_percent(recall->tp, recall->fn) : json(nullptr);
  return out;
}

json rule_set_value(const RuleSetInfo& info) {
  json out = json::object();
  out["fingerprint"] = optional_string(info.fingerprint);
  out["guide_source"] = optional_string(info.guide_source());
  out["version"] = optional_string(info.version);
  if (const auto& run = info.recall) {
    json recall = json::object();
    recall["corpus_hash"] = run->corpus_hash;
    recall["fn"] = run->fn;
    recall["min_plants"] = run->min_plants;
    recall["papers"] = run->papers;
    recall["percent"] = recall_percent(run->tp, run->fn);
    recall["run_timestamp"] = run->run_timestamp;
    recall["tp"] = run->tp;
    out["recall"] = std::move(recall);
  } else {
    out["recall"] = nullptr;
  }
  return out;
}

json baseline_value(const std::optional<BaselineSummary>& baseline) {
  if (!baseline) return json(nullptr);
  json out = json::object();
  out["matched"] = baseline->matched;
  out["path"] = baseline->path;
  out["ruleset_version"] = optional_string(baseline->ruleset_version);
  out["stale"] = baseline->stale;
  out["unevaluated"] = baseline->unevaluated;
  return out;
}

void append_hex4(std::uint32_t unit, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4)
    out += kHex[(unit >> shift) & 0xF];
}

void append_indent(std::size_t count, std::string& out) {
  out.append(count, ' ');
}

}  // namespace

nlohmann::json category_value(const CategorySummary& category, std::uint32_t min_n) {
  json out = json::object();
  out["category_id"] = category.category_id;
  out["recall"] = recall_value(category.recall, min_n);
  out["rules_applied"] = category.rules_applied;
  out["rules_passed"] = category.rules_passed;
  out["status"] = std::string(status_text(category.status));
  out["title"] = category.title;
  return out;
}

nlohmann::json violation_value(const Violation& violation) {
  const RuleMeta* meta = lookup(violation.rule_id);
  json out = json::object();
  out["column"] = violation.column ? json(*violation.column) : json(nullptr);
  out["confidence"] =
      std::string(meta ? confidence_text(meta->confidence) : confidence_text(Confidence::High));
  out["file"] = violation.file;
  out["fix"] = nullptr;
  out["guide_section"] = meta ? std::string(meta->section) : std::string();
  out["guide_url"] = meta && meta->url ? json(std::string(*meta->url)) : json(nullptr);
  out["line"] = violation.line;
  out["message"] = violation.message;
  out["rule_id"] = violation.rule_id;
  out["severity"] = std::string(severity_text(violation.severity));
  out["suggestion"] = optional_string(violation.suggestion);
  return out;
}

nlohmann::json coverage_value(std::span<const CoverageDirectiveData> directives) {
  const coverage::Counts counts = coverage::counts(directives);
  json out = json::object();
  out["counts"] = json{{"checked", counts.checked},
                       {"not_checked", counts.not_checked},
                       {"out_of_scope", counts.out_of_scope},
                       {"partial", counts.partial}};
  std::vector<const CoverageDirectiveData*> open;
  for (const CoverageDirectiveData& row : directives)
    if (row.status == "not_checked" || row.status == "partial") open.push_back(&row);
  std::stable_sort(open.begin(), open.end(), [](const auto* a, const auto* b) {
    if (a->status != b->status) return a->status < b->status;
    return a->id < b->id;
  });
  json items = json::array();
  for (const CoverageDirectiveData* row : open) {
    json item = json::object();
    item["id"] = std::string(row->id);
    item["reason"] = std::string(row->reason);
    item["section"] = std::string(row->section);
    item["source"] = std::string(row->source);
    item["status"] = std::string(row->status);
    items.push_back(std::move(item));
  }
  out["items"] = std::move(items);
  return out;
}

namespace {

// Everything but the findings, whose array is left empty.
json payload_without_violations(const ComplianceReport& report) {
  const std::uint32_t min_n = report.rule_set.min_plants();
  json out = json::object();
  out["baseline"] = baseline_value(report.baseline);
  json categories = json::array();
  for (const CategorySummary& category : report.categories)
    categories.push_back(category_value(category, min_n));
  out["categories"] = std::move(categories);
  out["compliance_percentage"] =
      report.compliance_percentage ? json(*report.compliance_percentage) : json(nullptr);
  out["coverage"] = coverage_value(report.coverage);
  out["journal_id"] = report.journal_id;
  out["rule_set"] = rule_set_value(report.rule_set);
  json skipped = json::array();
  for (const SkippedRule& rule : report.skipped_rules)
    skipped.push_back(json{{"reason", rule.reason}, {"rule_id", rule.rule_id}});
  out["skipped_rules"] = std::move(skipped);
  out["tool_version"] = report.tool_version;
  out["violations"] = json::array();
  return out;
}

}  // namespace

nlohmann::json to_payload(const ComplianceReport& report) {
  json out = payload_without_violations(report);
  json& violations = out["violations"];
  violations.get_ref<json::array_t&>().reserve(report.violations.size());
  for (const Violation& violation : report.violations)
    violations.push_back(violation_value(violation));
  return out;
}

std::string render(const ComplianceReport& report) {
  const json payload = payload_without_violations(report);
  const StreamedArray findings{
      &payload.at("violations"), report.violations.size(),
      [&](std::size_t i) { return violation_value(report.violations[i]); }};
  std::string out;
  out.reserve(4096 + report.violations.size() * 512);
  write_value(payload, 0, out, findings);
  out += '\n';
  return out;
}

void write_value(const nlohmann::json& value, std::size_t indent, std::string& out) {
  write_value(value, indent, out, StreamedArray{});
}

void write_value(const nlohmann::json& value, std::size_t indent, std::string& out,
                 const StreamedArray& streamed) {
  if (&value == streamed.slot) {
    if (streamed.count == 0) {
      out += "[]";
      return;
    }
    out += '[';
    for (std::size_t i = 0; i < streamed.count; ++i) {
      out += '\n';
      append_indent(indent + 2, out);
      write_value(streamed.element(i), indent + 2, out);
      if (i + 1 < streamed.count) out += ',';
    }
    out += '\n';
    append_indent(indent, out);
    out += ']';
    return;
  }
  switch (value.type()) {
    case json::value_t::null:
    case json::value_t::discarded:
    case json::value_t::binary:
      out += "null";
      return;
    case json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      return;
    case json::value_t::number_integer:
      out += std::to_string(value.get<std::int64_t>());
      return;
    case json::value_t::number_unsigned:
      out += std::to_string(value.get<std::uint64_t>());
      return;
    case json::value_t::number_float:
      write_py_float(value.get<double>(), out);
      return;
    case json::value_t::string:
      write_py_string(value.get_ref<const std::string&>(), out);
      return;
    case json::value_t::array: {
      const auto& items = value.get_ref<const json::array_t&>();
      if (items.empty()) {
        out += "[]";
        return;
      }
      out += '[';
      for (std::size_t i = 0; i < items.size(); ++i) {
        out += '\n';
        append_indent(indent + 2, out);
        write_value(items[i], indent + 2, out, streamed);
        if (i + 1 < items.size()) out += ',';
      }
      out += '\n';
      append_indent(indent, out);
      out += ']';
      return;
    }
    case json::value_t::object: {
      // The object type is a std::map over std::string keys, whose order is the
      // byte order of the UTF-8 keys, so iterating it yields the sorted keys.
      const auto& members = value.get_ref<const json::object_t&>();
      if (members.empty()) {
        out += "{}";
        return;
      }
      out += '{';
      std::size_t remaining = members.size();
      for (const auto& [key, member] : members) {
        out += '\n';
        append_indent(indent + 2, out);
        write_py_string(key, out);
        out += ": ";
        write_value(member, indent + 2, out, streamed);
        if (--remaining > 0) out += ',';
      }
      out += '\n';
      append_indent(indent, out);
      out += '}';
      return;
    }
  }
  out += "null";
}

void write_py_string(std::string_view text, std::string& out) {
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    // Copy the longest run of printable ASCII that needs no escape in one go.
    std::size_t run = i;
    while (run < text.size()) {
      const auto byte = static_cast<unsigned char>(text[run]);
      if (byte < 0x20 || byte >= 0x7F || byte == '"' || byte == '\\') break;
      ++run;
    }
    out.append(text, i, run - i);
    i = run;
    if (i == text.size()) break;
    if (text[i] == '"' || text[i] == '\\') {
      out += '\\';
      out += text[i++];
      continue;
    }
    const char32_t c = decode_utf8_at(text, i);
    switch (c) {
      case 0x08:
        out += "\\b";
        break;
      case 0x09:
        out += "\\t";
        break;
      case 0x0A:
        out += "\\n";
        break;
      case 0x0C:
        out += "\\f";
        break;
      case 0x0D:
        out += "\\r";
        break;
      default:
        if (c > 0xFFFF) {
          const std::uint32_t v = static_cast<std::uint32_t>(c) - 0x10000;
          append_hex4(0xD800 + (v >> 10), out);
          append_hex4(0xDC00 + (v & 0x3FF), out);
        } else {
          append_hex4(static_cast<std::uint32_t>(c), out);
        }
    }
  }
  out += '"';
}

void write_py_float(double value, std::string& out) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  // The shortest digits that read back to the same double, as d.ddde±x.
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  if (result.ec != std::errc()) {
    out += "null";
    return;
  }
  const std::string_view sci(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t e = sci.find('e');
  std::string_view mantissa = sci.substr(0, e);
  int exponent = 0;
  std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+' ? 1 : 0), sci.data() + sci.size(),
                  exponent);
  if (!mantissa.empty() && mantissa.front() == '-') {
    out += '-';
    mantissa.remove_prefix(1);
  }
  std::string digits;
  for (char ch : mantissa)
    if (ch != '.') digits += ch;

  // Python's repr switches to scientific notation outside 1e-4 <= |x| < 1e16.
  if (exponent >= -4 && exponent < 16) {
    if (exponent >= 0) {
      const auto int_len = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() < int_len) digits.append(int_len - digits.size(), '0');
      out.append(digits, 0, int_len);
      out += '.';
      out += digits.size() > int_len ? digits.substr(int_len) : std::string("0");
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    }
    return;
  }
  out += digits[0];
  if (digits.size() > 1) {
    out += '.';
    out.append(digits, 1, std::string::npos);
  }
  out += 'e';
  out += exponent < 0 ? '-' : '+';
  const int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude < 10) out += '0';
  out += std::to_string(magnitude);
}

}  // namespace kvt::json_output
