#pragma once

#include <initializer_list>
#include <string>

// The program's resource strings, by identifier, in English and German.
namespace quirel {

enum Language : int { kLanguageGerman = 7, kLanguageEnglish = 9 };

// The user-interface language for this run (7 German, 9 English; anything else reads as German, the
// catalogue's default language). Set once at start-up, before any thread but the first runs.
void setUiLanguage(int language);
int uiLanguage();

// The text of resource `id` in `language` (the current one when omitted); an unknown id gives "".
const std::string& loadString(unsigned id, int language);
const std::string& loadString(unsigned id);
// The text of resource `id` in the current language with each %1, %2, ... replaced by `args` in turn, in
// one pass: what an argument holds is never taken for a placeholder.
std::string fillString(unsigned id, std::initializer_list<std::string> args);

} // namespace quirel
