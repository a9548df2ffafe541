#pragma once
// Shipped script files and package files: the scrambled container with its
// MD5 digest, section cutting, and the packing operations.
#include <string>

#include "core/pack_result.h"

class UpdaterController;

// Reads, verifies and decodes one shipped script file.
bool LoadScriptFile(const std::string& path, std::string& plainText);
// Fills both script sets from beside the program; warns through the
// controller's view when fewer than two load.
void LoadScriptSets(UpdaterController& controller);
// The same with the shipped files looked for in `directory` (ending in '/').
void LoadScriptSets(UpdaterController& controller, const std::string& directory);
// Cuts the first section `name` out of `text` into `body`.
void ExtractSection(const std::string& name, std::string& text, std::string& body);
int CountLines(const std::string& text);
// Empty paths select UpdatingScript_kfw.sh and UpdatingScript_kfw.data in
// the program directory, where the window reads the shipped file.
PackResult PackScriptFile(const std::string& inputPath, const std::string& outputPath);
// kind 1: kfw, kind 2: kf4 (with its marker).
// Writes the decoded archive only when the whole package checks out;
// otherwise no file remains at decodedPath.
bool DecodePackage(const std::string& packagePath, const std::string& decodedPath, int kind);
// The same checks of digest and marker, writing nothing.
bool CheckPackage(const std::string& packagePath, int kind);
// An empty output path selects DefaultPackagePath. Refuses to write onto
// its own input.
PackResult PackPackageFile(const std::string& inputPath, const std::string& outputPath, int kind);
// WritableDirectory() and the input's file name with its extension
// replaced by kfw or kf4; that bare directory when the input path has no
// '/' or its file name no '.'.
std::string DefaultPackagePath(const std::string& inputPath, int kind);
