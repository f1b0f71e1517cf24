// The Python module `kvtlint`: a thin door onto the core. Arguments are
// converted and checked here; everything else happens in kvtlint-core.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>

#include "catalogue.hpp"
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
