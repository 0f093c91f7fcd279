// The plugin library exports its entry point and nothing else. The dynamic
// symbol table is read straight from the ELF file, 32- or 64-bit.
#include <cstring>
#include <elf.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<char>;

template <typename T>
std::optional<T> ReadAt(const Bytes& file, std::uint64_t offset) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) return std::nullopt;
  T value;
  std::memcpy(&value, file.data() + offset, sizeof value);
  return value;
}

struct DefinedSymbols {
  std::vector<std::string> names;
  std::string error;
};

// Names of the defined global and weak symbols of the dynamic symbol table.
template <typename Header, typename Section, typename Symbol>
DefinedSymbols ReadDynamicSymbols(const Bytes& file) {
  DefinedSymbols result;
  const auto header = ReadAt<Header>(file, 0);
  if (!header) return {{}, "truncated ELF header"};
  for (unsigned i = 0; i < header->e_shnum; ++i) {
    const auto section =
        ReadAt<Section>(file, header->e_shoff + std::uint64_t{i} * header->e_shentsize);
    if (!section) return {{}, "truncated section table"};
    if (section->sh_type != SHT_DYNSYM) continue;
    const auto strings = ReadAt<Section>(
        file, header->e_shoff + std::uint64_t{section->sh_link} * header->e_shentsize);
    if (!strings || section->sh_entsize != sizeof(Symbol)) return {{}, "bad .dynsym"};
    for (std::uint64_t at = 0; at + sizeof(Symbol) <= section->sh_size; at += sizeof(Symbol)) {
      const auto symbol = ReadAt<Symbol>(file, section->sh_offset + at);
      if (!symbol) return {{}, "truncated .dynsym"};
      const unsigned binding = symbol->st_info >> 4;
      if (symbol->st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) {
        continue;
      }
      const std::uint64_t name = strings->sh_offset + symbol->st_name;
      if (symbol->st_name >= strings->sh_size || name >= file.size()) return {{}, "bad name"};
      result.names.emplace_back(file.data() + name,
                                strnlen(file.data() + name, file.size() - name));
    }
    return result;
  }
  return {{}, "no .dynsym section"};
}

TEST(ExportedSymbolsTest, OnlyTheEntryPointIsExported) {
  std::ifstream in(KELP_PLUGIN_PATH, std::ios::binary);
  ASSERT_TRUE(in) << KELP_PLUGIN_PATH;
  const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_GT(file.size(), static_cast<std::size_t>(EI_NIDENT));
  ASSERT_EQ(std::memcmp(file.data(), ELFMAG, SELFMAG), 0);
  const DefinedSymbols symbols = file[EI_CLASS] == ELFCLASS32
                                     ? ReadDynamicSymbols<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(file)
                                     : ReadDynamicSymbols<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(file);
  ASSERT_EQ(symbols.error, "");
  EXPECT_THAT(symbols.names, ::testing::ElementsAre("load_tav_premade_voice"));
}

}  // namespace
