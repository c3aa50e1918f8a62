// The program's string table: texts keyed by the design's string ids, with an
// English and a Simplified Chinese column. The tables themselves live with the
// resources (config/res/) and are added at start-up; lookups use the program's
// language, chosen from the system locale unless set. An entry without a
// Chinese text shows its English one.
#pragma once

#include <QHash>
#include <QLocale>
#include <QString>

#include <mutex>
#include <span>

namespace qvui {

enum class Language { English, SimplifiedChinese };

struct StringEntry {
    quint32 id;
    const char16_t* english;
    const char16_t* chinese; // nullptr or empty: the English text
};

class StringTable {
public:
    static StringTable& instance();

    // Adds the entries; an id already present keeps its first text. Returns an
    // empty string, or the reason ("duplicate string ids: 1001, 1002").
    QString add(std::span<const StringEntry> entries);
    bool contains(quint32 id) const;
    // The text in the program's language; empty for an unknown id.
    QString text(quint32 id) const;
    QString text(quint32 id, Language language) const;

    Language language() const;
    void setLanguage(Language language);
    // Chinese in the Simplified script (or of mainland China or Singapore when
    // the script is not given) selects Chinese; everything else English.
    static Language languageFor(const QLocale& locale);

private:
    StringTable();
    struct Texts {
        QString english, chinese;
    };
    mutable std::mutex mutex_;
    QHash<quint32, Texts> texts_;
    Language language_;
};

// The table's text for `id` in the program's language.
inline QString loadString(quint32 id) { return StringTable::instance().text(id); }

} // namespace qvui
