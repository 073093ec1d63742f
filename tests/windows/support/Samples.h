#pragma once
// Sample files made by the forge, as the tests write them.
#include <string>

#include "engine/VariantRecord.h"
#include "tools/forge/Forge.h"

// The inert sample of a record, or one of its near misses: the bytes of a
// file to write.
std::string InertSample(const VariantRecord& record);
std::string NearMissSample(const VariantRecord& record, forge::NearMiss kind);

// Writes a stand-in program of this build's width whose file matches the
// record, at path.
bool WriteStandIn(const std::string& path, const VariantRecord& record = VariantTable[0]);

// Writes a program that runs like a stand-in but whose file matches no record
// (one byte longer than any record allows): a clean program to share a name
// with a sample.
bool WriteCleanProgram(const std::string& path);
