// Windows-style INI files with private-profile semantics: the settings INI,
// threshold, parameter and process-list files and the INI sections inside CSV
// reports. Section and key names match case-insensitively; a read finds the
// first matching section and the first matching key in it; a write changes only
// the line it must (or inserts one) and keeps every other byte of the file,
// including its line endings. QSettings rewrites such files, so it cannot be used.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

namespace qvui {

class IniFile {
public:
    // Files larger than this are refused rather than read into memory.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    IniFile() = default;
    // Takes the file's bytes as they are (UTF-8 or ASCII; a UTF-8 mark is kept).
    explicit IniFile(const QByteArray& bytes);

    // A missing file is an error here; the static helpers below treat it as empty.
    bool load(const QString& path, QString* error = nullptr);
    bool save(const QString& path, QString* error = nullptr) const;
    QByteArray bytes() const;

    bool hasSection(const QString& section) const;
    bool hasKey(const QString& section, const QString& key) const;
    // The value of the first matching key, trimmed, one pair of enclosing
    // quotes (' or ") removed; `def` when the section or key is missing.
    QString value(const QString& section, const QString& key, const QString& def = {}) const;
    // The value read as parseInt does; `def` when missing or without digits.
    int intValue(const QString& section, const QString& key, int def) const;

    // Replaces the first matching key's value in place, inserts the key after the
    // section's last line, or appends the section at the end. Names and values
    // that could not be read back as written (line breaks, '=' in a key, an empty
    // name, a key that would read as a comment or a section) are refused.
    bool setValue(const QString& section, const QString& key, const QString& value, QString* error = nullptr);
    // Removes every line of `key` in the first matching section; false when none.
    bool removeKey(const QString& section, const QString& key);
    // Removes every section of that name with all its lines; false when none.
    bool removeSection(const QString& section);

    // Integer reading of the private-profile functions: leading whitespace, an
    // optional sign, decimal digits up to the first non-digit; `def` when there
    // is no digit. The digits wrap modulo 2^32 like the 32-bit conversion they
    // replace, so "4294967295" reads as -1 (0xFFFFFFFF for an unsigned reader).
    static int parseInt(QStringView text, int def);

    // One-call forms of the above on a file path. Reading a missing or unreadable
    // file gives the default; writing a missing file creates it.
    static QString readString(const QString& path, const QString& section, const QString& key, const QString& def = {});
    static int readInt(const QString& path, const QString& section, const QString& key, int def);
    static bool writeString(const QString& path, const QString& section, const QString& key, const QString& value,
                            QString* error = nullptr);
    static bool deleteKey(const QString& path, const QString& section, const QString& key, QString* error = nullptr);
    static bool deleteSection(const QString& path, const QString& section, QString* error = nullptr);

private:
    struct Line {
        enum Kind { Other, Section, Entry } kind = Other;
        QString name;          // section name or key, trimmed
        qsizetype valueAt = 0; // Entry: byte offset of the value (after '=' and blanks)
        qsizetype textEnd = 0; // byte offset where the line ending starts
    };
    void classify();
    Line parseLine(qsizetype index) const;
    qsizetype findSection(const QString& section) const;          // header line, or -1
    qsizetype sectionEnd(qsizetype header) const;                  // one past its last line
    qsizetype findKey(qsizetype header, const QString& key) const; // entry line, or -1
    QByteArray lineEnding() const;
    void ensureEndsWithLineBreak();

    QByteArray mark_;         // a UTF-8 mark the file starts with, kept in front of the first line
    QList<QByteArray> lines_; // each with its own line ending; the last may have none
    QList<Line> parsed_;
};

} // namespace qvui
