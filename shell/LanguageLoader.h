#pragma once
// Language files and the stored language choice.
//
// A language file is 8-bit text (UTF-8, or Latin-1 where a line is not valid UTF-8), read line by
// line; a line ends at CR, LF or CR LF and is read whole however long it is:
//   ; comment            lines starting with ';' or '/' are comments
//   LanguageName=Deutsch the name line ("LanguageName = " is taken as "LanguageName="); the
//                        last one counts and a file without one is not a language file
//   0000="Datei";        text lines: four characters of key, '=' and '"' at character 4; the
//                        key is not read: texts are numbered by their order in the file
// A text is the trimmed line without its first 6 and last 2 characters; "\r\n" in it stands
// for a line break. Lines shorter than 5 characters after trimming are ignored.
//
// These are the loader operations of the language selection dialog; they need no window.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What a language file holds, line by line. Safe on any input.
class CLanguageFileParser {
public:
    void AddLine(std::string_view line);

    bool HasName() const { return m_hasName; }
    const std::string& Name() const { return m_name; }
    // The texts in file order; only the first 213 are kept (nothing could read the others).
    const std::vector<std::string>& Texts() const { return m_texts; }
    // Every text line seen, kept or not.
    int TextLineCount() const { return m_textLines; }

    // The end of the file; `lastLineEnded`: the last line added had its line end.
    void EndFile(bool lastLineEnded);
    // The file's first fault, for its one warning: the number of the first line that holds a
    // NUL byte, or of a last line cut short (no line end, and not a complete line); 0 for none.
    int FaultLine() const { return m_faultLine; }
    const std::string& Fault() const { return m_fault; }

private:
    bool m_firstLine = true;
    bool m_hasName = false;
    std::string m_name;
    std::vector<std::string> m_texts;
    int m_textLines = 0;
    int m_lines = 0;
    bool m_lastLineComplete = true;
    int m_faultLine = 0;
    std::string m_fault;
};

class CLanguageLoader {
public:
    static constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";
    static constexpr const char* kSettingsValue = "LanguageFile";
    // The language of the built-in texts, there with or without a file.
    static constexpr const char* kBuiltInName = "English";

    // Loads the file into the table: the built-in texts first, then the file's in order. A file
    // that cannot be opened, is UTF-16 or has no name line is reported in a box and leaves the
    // table as it was. True when the table was replaced; a file loaded with a fault (its last line
    // cut short, a NUL byte) logs one warning that names the file and the line.
    static bool LoadLanguageFile(const std::string& path);
    // The built-in texts into the table, in place of any language loaded before.
    static void LoadBuiltInTexts();
    // Loads the file named by the stored choice when it is longer than 3 characters.
    static void LoadSavedLanguage();
    static void SaveLanguageSetting(const std::string& path);
    // The file's language name, or the empty text (a file that cannot be opened is reported).
    static std::string GetLanguageName(const std::string& path);
    // 0 when the file cannot be opened, 2 when its first bytes are UTF-16 (a byte-order mark, or
    // NUL bytes all in alternate positions), else 1.
    static int IsUnicodeFile(const std::string& path);

    // The folder of the language files: the application-data folder's "Languages", with a final
    // separator.
    static std::string LanguageFolder();

    // Reads a whole file through the parser. False when it cannot be opened.
    static bool ParseFile(const std::string& path, CLanguageFileParser& parser);

    // Where the warnings of a load go (the main view's log): one line, without its line end;
    // without a sink they go to the debug trace.
    using LogSink = std::function<void(const std::string& text)>;
    static void SetLogSink(LogSink sink);
    // The built-in table in the language-file format, as "Language/English.dic.txt" holds it.
    static std::string FormatLanguageFile(const std::string& name, const std::vector<std::string>& texts);
};

// The language set-up of the view's start: the table emptied, filled with the built-in texts,
// then the stored language loaded over them. The caller applies the texts to its windows next.
void InitLanguageForView();
