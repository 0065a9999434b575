#pragma once
// The table of user-interface texts. Every window takes its visible texts by number from
// g_Language; the table starts with the built-in English texts and a language file replaces
// them in number order (shell/LanguageLoader.h).
//
// The table belongs to the GUI thread: it is filled at the view's start and replaced when the
// user picks another language.

#include <array>
#include <string>
#include <vector>

// Numbers 0..212. A language file's texts are numbered by their order in the file, so the
// built-in texts keep their order and spelling for good.
inline constexpr int kLanguageTextCount = 213;

class CLanguage {
public:
    // A copy of text `number` when 0 <= number < count, else the empty text.
    std::string GetText(int number) const;
    // Text `number`, or its built-in English text while the table holds none for it.
    std::string GetTextOrDefault(int number) const;

    // Appends `n` texts to g_LanguageTexts and sets the count to the array's new size. It does
    // not clear the array first. 214 or more texts are refused with "Language Update Failed. #1"
    // and nothing changes.
    void SetTexts(const std::string* texts, int n);

    int Count() const { return m_nCount; }
    // Back to "no texts loaded" (the state before the view's start), for a fresh start.
    void Reset();

private:
    int m_nCount = 0;
};

extern CLanguage g_Language;
extern std::vector<std::string> g_LanguageTexts;
extern const std::array<std::string, kLanguageTextCount> g_LanguageDefaults;
extern const std::string g_strLanguageFallback;
