#pragma once

#include "paramset/ParamSetFile.h"

#include <cstdint>
#include <string>
#include <vector>

// How a parameter-set file written by an older tool, or in the other language, is read for sending.
// Current files carry "index;text" for parameters with value texts, and the index is what counts; older
// files carry the text alone, in the language they were written in.
namespace quirel::paramset {

enum class FileForm { Current, Older };
enum class FileLanguage { Undecided, English, German };

// The parameters whose entries tell the two forms apart.
bool IsFormMarker(int32_t number);

// The first "Commissioning" entry of a marker parameter decides: with ";" in its value, or with no such
// entry at all, the file has the current form.
FileForm DetectForm(const std::vector<ParamSetEntry>& commissioning);

// The first "Commissioning" entry whose value holds an English marker word makes the file English, else
// the first holding a German one German (case-sensitive substrings).
FileLanguage DetectLanguage(const std::vector<ParamSetEntry>& commissioning);

// The text of an older file's entry in the program's language (7 German, 9 English): the partner of the
// text in the fixed translation table of its parameter ("-error-" for a text in neither column of the
// parameter's row), the "BW " rule for 547, and any other parameter's text unchanged.
std::string TranslateText(int32_t number, const std::string& text, int programLanguage);

// Why TranslateText gave "-error-" for `text`: the texts the table knows for the parameter, in the form
// the value judge words its refusals.
std::string TranslationRefusal(int32_t number, const std::string& text);

// The text of an older file's entry read in its own language: the "BW " rule for 547, and for 540 the
// long forms of the file's language replaced by its short forms (an undecided file counts as English).
std::string NormaliseText(int32_t number, const std::string& text, FileLanguage fileLanguage);

// 547: a text without "BW" and without "BE" anywhere gets "BW " in front.
std::string WithOperatingModePrefix(const std::string& text);

} // namespace quirel::paramset
