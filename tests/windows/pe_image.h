// Reads the import and export tables of a module loaded in this process,
// straight from its PE headers in memory.
#ifndef DINFO_TESTS_WINDOWS_PE_IMAGE_H
#define DINFO_TESTS_WINDOWS_PE_IMAGE_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace dinfo::test {

struct ExportEntry {
  std::uint32_t ordinal;
  std::string name;  // empty for an ordinal without a name
};

// The names of the DLLs the module imports from, in table order.
std::vector<std::string> ImportedDlls(HMODULE module);

// Every filled slot of the export address table, by ordinal, with its name.
std::vector<ExportEntry> ExportTable(HMODULE module);

// The import address table slot through which the module calls `function`
// of `dll` (matched without regard to case), or null when it imports none.
void **ImportSlot(HMODULE module, const char *dll, const char *function);

// Where the module starts running: its entry point.
void *EntryPoint(HMODULE module);

// Writes `address` into an import slot; false when its page stays closed.
bool WriteImportSlot(void **slot, void *address);

}  // namespace dinfo::test

#endif  // DINFO_TESTS_WINDOWS_PE_IMAGE_H
