// forge: writes a sample file for one record of the built-in variant table.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/forge/Forge.h"
#include "tools/forge/InfectedHosts.h"

namespace {

int Usage() {
  std::cerr << "usage: forge inert N OUT [N OUT]...\n"
               "       forge standin N OUT [--pe32]\n"
               "       forge nearmiss N KIND OUT\n"
               "       forge hosts OUT          a hosts file with the text signature\n"
               "       forge each               one sample per line of standard input,\n"
               "                                each line one of the forms above\n"
               "N: record number, 1 to "
            << kVariantCount
            << "\n"
               "KIND: first-byte, second-byte, size-plus-one, size-minus-one, 21-sections\n";
  return 2;
}

// The record numbered from 1, or null when the text is not such a number.
const VariantRecord* RecordNumbered(const char* text) {
  char* end = nullptr;
  const long number = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || number < 1 || number > kVariantCount) return nullptr;
  return &VariantTable[number - 1];
}

bool NearMissNamed(const std::string& name, forge::NearMiss& kind) {
  static const struct {
    const char* name;
    forge::NearMiss kind;
  } kinds[] = {
      {"first-byte", forge::NearMiss::FirstPatternByte},
      {"second-byte", forge::NearMiss::SecondPatternByte},
      {"size-plus-one", forge::NearMiss::SizePlusOne},
      {"size-minus-one", forge::NearMiss::SizeMinusOne},
      {"21-sections", forge::NearMiss::TwentyOneSections},
  };
  for (const auto& entry : kinds) {
    if (name == entry.name) {
      kind = entry.kind;
      return true;
    }
  }
  return false;
}

int WriteOut(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::cerr << "forge: cannot write " << path << "\n";
    return 1;
  }
  return 0;
}

int Make(const std::vector<std::string>& args) {
  if (args.size() == 2 && args[0] == "hosts") {
    const std::string text = forge::MakeInfectedHostsFile();
    return WriteOut(args[1], std::vector<uint8_t>(text.begin(), text.end()));
  }
  if (args.size() < 3) return Usage();
  // Many samples in one run: a scenario plants a hundred, and each start of
  // this (sanitized) program costs more than the sample.
  if (args[0] == "inert" && args.size() > 3) {
    if (args.size() % 2 == 0) return Usage();
    for (size_t i = 1; i < args.size(); i += 2) {
      if (!RecordNumbered(args[i].c_str())) return Usage();
    }
    for (size_t i = 1; i < args.size(); i += 2) {
      const int status = Make({"inert", args[i], args[i + 1]});
      if (status != 0) return status;
    }
    return 0;
  }
  const VariantRecord* record = RecordNumbered(args[1].c_str());
  if (!record) return Usage();
  try {
    if (args[0] == "inert" && args.size() == 3)
      return WriteOut(args[2], forge::MakeInertSample(*record));
    if (args[0] == "standin" && (args.size() == 3 || (args.size() == 4 && args[3] == "--pe32"))) {
      const auto bitness = args.size() == 4 ? forge::Bitness::Pe32 : forge::Bitness::Pe32Plus;
      return WriteOut(args[2], forge::MakeStandIn(*record, bitness));
    }
    forge::NearMiss kind;
    if (args[0] == "nearmiss" && args.size() == 4 && NearMissNamed(args[2], kind))
      return WriteOut(args[3], forge::MakeNearMiss(*record, kind));
  } catch (const forge::LayoutError& error) {
    std::cerr << "forge: record " << args[1] << ": " << error.what() << "\n";
    return 1;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() != 1 || args[0] != "each") return Make(args);
  // Many samples of any kind in one run, as the many-inert form does.
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::vector<std::string> sample;
    for (std::string word; words >> word;) sample.push_back(word);
    if (sample.empty()) continue;
    const int status = Make(sample);
    if (status != 0) return status;
  }
  return 0;
}
