// The message catalogue: numbered texts in English (1033) and Simplified
// Chinese (2052), stored as string tables in the executable's resources.
#pragma once

#include <windows.h>

#include <string>

constexpr LANGID kLangEnglish = 0x0409;
constexpr LANGID kLangChinese = 0x0804;

// Sets the thread's interface language and records it as the language of
// every later LoadMessage. Returns the language the system reports as set
// (0 if setting failed).
LANGID SetInterfaceLanguage(LANGID language);

// The interface language of LoadMessage.
LANGID CurrentLanguage();

// The text of `id` in the interface language, else in the other language,
// else empty. Never fails. Window thread only.
std::wstring LoadMessage(unsigned id);

// Fills a catalogue text's placeholders the way the catalogue means them: %s
// takes a wide string, %d an int. At most 1023 units; longer results are cut.
// (The C99 swprintf of mingw reads %s as a narrow string, hence this helper.)
std::wstring FormatMessageText(const wchar_t* format, ...);

// The text of `id` in exactly `language` (empty if it has none).
std::wstring LoadMessageIn(unsigned id, LANGID language);
