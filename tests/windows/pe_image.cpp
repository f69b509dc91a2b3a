#include "pe_image.h"

namespace dinfo::test {
namespace {

const std::uint8_t *Base(HMODULE module) { return reinterpret_cast<const std::uint8_t *>(module); }

const IMAGE_NT_HEADERS64 &Headers(HMODULE module) {
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(module);
  return *reinterpret_cast<const IMAGE_NT_HEADERS64 *>(Base(module) + dos->e_lfanew);
}

const IMAGE_DATA_DIRECTORY &Directory(HMODULE module, int which) {
  return Headers(module).OptionalHeader.DataDirectory[which];
}

template <typename T>
const T *At(HMODULE module, DWORD rva) {
  return reinterpret_cast<const T *>(Base(module) + rva);
}

const IMAGE_IMPORT_DESCRIPTOR *FirstImport(HMODULE module) {
  const IMAGE_DATA_DIRECTORY &imports = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
  if (imports.VirtualAddress == 0) return nullptr;
  return At<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress);
}

}  // namespace

std::vector<std::string> ImportedDlls(HMODULE module) {
  std::vector<std::string> names;
  for (const auto *entry = FirstImport(module); entry != nullptr && entry->Name != 0; ++entry) {
    names.emplace_back(At<char>(module, entry->Name));
  }
  return names;
}

std::vector<ExportEntry> ExportTable(HMODULE module) {
  std::vector<ExportEntry> entries;
  const IMAGE_DATA_DIRECTORY &directory = Directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (directory.VirtualAddress == 0) return entries;
  const auto *exports = At<IMAGE_EXPORT_DIRECTORY>(module, directory.VirtualAddress);
  const auto *functions = At<DWORD>(module, exports->AddressOfFunctions);
  const auto *names = At<DWORD>(module, exports->AddressOfNames);
  const auto *nameOrdinals = At<WORD>(module, exports->AddressOfNameOrdinals);
  for (DWORD slot = 0; slot < exports->NumberOfFunctions; ++slot) {
    if (functions[slot] == 0) continue;
    ExportEntry entry{exports->Base + slot, {}};
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
      if (nameOrdinals[i] == slot) entry.name = At<char>(module, names[i]);
    }
    entries.push_back(entry);
  }
  return entries;
}

void **ImportSlot(HMODULE module, const char *dll, const char *function) {
  for (const auto *entry = FirstImport(module); entry != nullptr && entry->Name != 0; ++entry) {
    if (lstrcmpiA(At<char>(module, entry->Name), dll) != 0) continue;
    // The lookup table keeps the names; the address table beside it holds
    // the bound addresses.
    const auto *lookup = At<IMAGE_THUNK_DATA64>(
        module, entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk);
    auto *bound = const_cast<IMAGE_THUNK_DATA64 *>(At<IMAGE_THUNK_DATA64>(module, entry->FirstThunk));
    for (; lookup->u1.AddressOfData != 0; ++lookup, ++bound) {
      if (IMAGE_SNAP_BY_ORDINAL64(lookup->u1.Ordinal)) continue;
      const auto *byName = At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(lookup->u1.AddressOfData));
      if (lstrcmpA(reinterpret_cast<const char *>(byName->Name), function) == 0) {
        return reinterpret_cast<void **>(&bound->u1.Function);
      }
    }
  }
  return nullptr;
}

void *EntryPoint(HMODULE module) {
  return const_cast<std::uint8_t *>(Base(module)) + Headers(module).OptionalHeader.AddressOfEntryPoint;
}

bool WriteImportSlot(void **slot, void *address) {
  DWORD oldProtection = 0;
  if (!VirtualProtect(slot, sizeof(void *), PAGE_READWRITE, &oldProtection)) return false;
  *slot = address;
  DWORD ignored = 0;
  return VirtualProtect(slot, sizeof(void *), oldProtection, &ignored) != 0;
}

}  // namespace dinfo::test
