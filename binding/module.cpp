// The Python module `kvtlint`: a thin door onto the core. Arguments are
// converted and checked here; everything else happens in kvtlint-core.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.hpp"
#include "config.hpp"
#include "pipeline.hpp"
#include "version.hpp"

namespace {

PyObject* optional_str(const std::optional<std::string>& value) {
  if (!value) Py_RETURN_NONE;
  return PyUnicode_FromStringAndSize(value->data(), static_cast<Py_ssize_t>(value->size()));
}

int set_item(PyObject* dict, const char* key, PyObject* value) {
  if (value == nullptr) return -1;
  const int rc = PyDict_SetItemString(dict, key, value);
  Py_DECREF(value);
  return rc;
}

// The positional order of render's parameters; keywords may name any of them.
constexpr const char* kRenderParams[] = {"files",   "journal",      "mode",
                                         "output",  "ignore_rules", "min_confidence",
                                         "fail_on", "source_root",  "verbose"};
constexpr Py_ssize_t kRenderParamCount = 9;

// Reads a str argument as UTF-8; None and absent leave `out` empty.
bool optional_str_arg(PyObject* value, const char* name, std::optional<std::string>& out) {
  if (value == nullptr || value == Py_None) return true;
  if (!PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "render() argument '%s' must be str or None, not %.100s", name,
                 Py_TYPE(value)->tp_name);
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) return false;
  out.emplace(data, static_cast<std::size_t>(size));
  return true;
}

// Converts one str of the files sequence; names the offending file when it
// cannot be encoded (lone surrogates).
bool file_str(PyObject* value, Py_ssize_t index, const char* what, const std::string* path,
              std::string& out) {
  if (!PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "render() argument 'files': item %zd: %s must be str, not %.100s",
                 index, what, Py_TYPE(value)->tp_name);
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) {
    PyObject* type = nullptr;
    PyObject* cause = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &cause, &traceback);
    PyErr_NormalizeException(&type, &cause, &traceback);
    PyObject* detail = cause != nullptr ? PyObject_Str(cause) : nullptr;
    const char* detail_text = detail != nullptr ? PyUnicode_AsUTF8(detail) : nullptr;
    PyErr_Clear();
    if (path != nullptr) {
      PyErr_Format(PyExc_ValueError,
                   "render() argument 'files': item %zd: %s of '%s' is not valid Unicode "
                   "(%s)",
                   index, what, path->c_str(), detail_text != nullptr ? detail_text : "?");
    } else {
      PyErr_Format(PyExc_ValueError,
                   "render() argument 'files': item %zd: %s is not valid Unicode (%s)", index, what,
                   detail_text != nullptr ? detail_text : "?");
    }
    Py_XDECREF(detail);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    if (cause != nullptr) {
      PyObject* new_type = nullptr;
      PyObject* raised = nullptr;
      PyObject* new_traceback = nullptr;
      PyErr_Fetch(&new_type, &raised, &new_traceback);
      PyErr_NormalizeException(&new_type, &raised, &new_traceback);
      if (raised != nullptr) {
        PyException_SetCause(raised, cause);  // steals the reference
      } else {
        Py_DECREF(cause);
      }
      PyErr_Restore(new_type, raised, new_traceback);
    }
    return false;
  }
  out.assign(data, static_cast<std::size_t>(size));
  return true;
}

bool convert_files(PyObject* files, std::vector<kvt::SourceFile>& out) {
  if (PyUnicode_Check(files) || PyBytes_Check(files) || PyByteArray_Check(files)) {
    PyErr_Format(PyExc_TypeError,
                 "render() argument 'files' must be a sequence of (path, contents) pairs, not "
                 "%.100s",
                 Py_TYPE(files)->tp_name);
    return false;
  }
  PyObject* seq = PySequence_Fast(
      files, "render() argument 'files' must be a sequence of (path, contents) pairs");
  if (seq == nullptr) return false;
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq);
  out.reserve(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(seq, i);
    if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) != 2) {
      PyErr_Format(PyExc_TypeError,
                   "render() argument 'files': item %zd must be a (path, contents) tuple of two "
                   "str, not %.100s",
                   i, Py_TYPE(item)->tp_name);
      Py_DECREF(seq);
      return false;
    }
    kvt::SourceFile file;
    if (!file_str(PyTuple_GET_ITEM(item, 0), i, "path", nullptr, file.path) ||
        !file_str(PyTuple_GET_ITEM(item, 1), i, "contents", &file.path, file.contents)) {
      Py_DECREF(seq);
      return false;
    }
    out.push_back(std::move(file));
  }
  Py_DECREF(seq);
  return true;
}

// Binds positional and keyword arguments of the fast-call convention to the
// nine parameter slots.
bool bind_arguments(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject* slots[kRenderParamCount]) {
  for (Py_ssize_t i = 0; i < kRenderParamCount; ++i)
    slots[i] = nullptr;
  if (nargs > kRenderParamCount) {
    PyErr_Format(PyExc_TypeError, "render() takes at most %zd arguments (%zd given)",
                 kRenderParamCount, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i)
    slots[i] = args[i];
  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* name = PyTuple_GET_ITEM(kwnames, k);
    const char* key = PyUnicode_AsUTF8(name);
    if (key == nullptr) return false;
    Py_ssize_t index = -1;
    for (Py_ssize_t p = 0; p < kRenderParamCount; ++p) {
      if (std::string_view(key) == kRenderParams[p]) index = p;
    }
    if (index < 0) {
      PyErr_Format(PyExc_TypeError, "render() got an unexpected keyword argument '%s'", key);
      return false;
    }
    if (slots[index] != nullptr) {
      PyErr_Format(PyExc_TypeError, "render() got multiple values for argument '%s'", key);
      return false;
    }
    slots[index] = args[nargs + k];
  }
  if (slots[0] == nullptr) {
    PyErr_SetString(PyExc_TypeError, "render() missing required argument 'files' (pos 1)");
    return false;
  }
  return true;
}

PyObject* render(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* slots[kRenderParamCount];
  if (!bind_arguments(args, nargs, kwnames, slots)) return nullptr;

  std::vector<kvt::SourceFile> files;
  if (!convert_files(slots[0], files)) return nullptr;

  kvt::RawOverrides overrides;
  std::optional<std::string> ignore_rules;
  if (!optional_str_arg(slots[1], "journal", overrides.journal) ||
      !optional_str_arg(slots[2], "mode", overrides.mode) ||
      !optional_str_arg(slots[3], "output", overrides.output) ||
      !optional_str_arg(slots[4], "ignore_rules", ignore_rules) ||
      !optional_str_arg(slots[5], "min_confidence", overrides.min_confidence) ||
      !optional_str_arg(slots[6], "fail_on", overrides.fail_on) ||
      !optional_str_arg(slots[7], "source_root", overrides.source_root)) {
    return nullptr;
  }
  if (ignore_rules) overrides.ignore_rules = kvt::config::split_rule_list(*ignore_rules);
  PyObject* verbose = slots[8];
  if (verbose != nullptr && verbose != Py_None) {
    if (!PyBool_Check(verbose)) {
      PyErr_Format(PyExc_TypeError, "render() argument 'verbose' must be bool or None, not %.100s",
                   Py_TYPE(verbose)->tp_name);
      return nullptr;
    }
    overrides.verbose = verbose == Py_True;
  }

  kvt::LintOutcome outcome;
  try {
    outcome = kvt::lint_and_render(files, overrides);
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_Format(PyExc_SystemError, "kvtlint internal error: %s", e.what());
    return nullptr;
  }
  if (outcome.error) {
    PyErr_SetString(PyExc_ValueError, outcome.error->message.c_str());
    return nullptr;
  }
  return PyUnicode_FromStringAndSize(outcome.text.data(),
                                     static_cast<Py_ssize_t>(outcome.text.size()));
}

PyDoc_STRVAR(render_doc,
             "render(files, journal=None, mode=None, output=None, ignore_rules=None, "
             "min_confidence=None, fail_on=None, source_root=None, verbose=None)\n"
             "--\n"
             "\n"
             "Lints `files` (a list of `(path, contents)` pairs \xe2\x80\x94 `path`'s\n"
             "extension dispatches `.tex`/`.ltx`/`.rnw` to the LaTeX parser,\n"
             "`.bib` to the BibTeX parser, and `.rmd` to the R Markdown parser,\n"
             "matching `ParsedDocument::from_sources`) and\n"
             "renders the report in the requested `output` format. Mirrors\n"
             "`kvtlint-cli`'s bare-lint invocation: `journal`/`mode`/`output`/\n"
             "`ignore_rules`/`min_confidence`/`fail_on`/`source_root`/`verbose`\n"
             "are the same CLI-flag-equivalent overrides, layered over\n"
             "`.kvt-lint.toml` (read from the current working directory, same as\n"
             "the CLI) and `ToolConfig::default()`.");

PyObject* version(PyObject*, PyObject*) {
  const kvt::RuleSetInfo rule_set = kvt::rule_set();
  PyObject* dict = PyDict_New();
  if (dict == nullptr) return nullptr;
  const std::string_view tool = kvt::kToolVersion;
  const std::string_view engine = kvt::kEngineTag;
  if (set_item(dict, "tool",
               PyUnicode_FromStringAndSize(tool.data(), static_cast<Py_ssize_t>(tool.size()))) <
          0 ||
      set_item(dict, "engine",
               PyUnicode_FromStringAndSize(engine.data(), static_cast<Py_ssize_t>(engine.size()))) <
          0 ||
      set_item(dict, "rulesetVersion", optional_str(rule_set.version)) < 0 ||
      set_item(dict, "guideSource", optional_str(rule_set.guide_source())) < 0) {
    Py_DECREF(dict);
    return nullptr;
  }
  return dict;
}

PyDoc_STRVAR(version_doc,
             "version()\n"
             "--\n"
             "\n"
             "Which engine and which rule set this wheel carries (spec 027 item D,\n"
             "contracts/version-output.md C-4). Same four facts `kvtlint --version`\n"
             "prints, as a dict \xe2\x80\x94 a caller pinning the wheel can check the rule-set\n"
             "date its baselines were written for without shelling out.");

PyMethodDef kMethods[] = {
    {"render", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(render)),
     METH_FASTCALL | METH_KEYWORDS, render_doc},
    {"version", version, METH_NOARGS, version_doc},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "kvtlint", nullptr, -1, kMethods, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_kvtlint(void) {
  PyObject* module = PyModule_Create(&kModule);
  if (module == nullptr) return nullptr;
  const std::string tool(kvt::kToolVersion);
  if (PyModule_AddStringConstant(module, "__version__", tool.c_str()) < 0) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
