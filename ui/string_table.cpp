#include "ui/string_table.h"

#include <QStringList>

namespace qvui {

StringTable& StringTable::instance() {
    static StringTable table;
    return table;
}

StringTable::StringTable() : language_(languageFor(QLocale::system())) {}

QString StringTable::add(std::span<const StringEntry> entries) {
    std::lock_guard lock(mutex_);
    QStringList duplicates;
    for (const StringEntry& e : entries) {
        if (texts_.contains(e.id)) {
            duplicates << QString::number(e.id);
            continue;
        }
        texts_.insert(e.id, {e.english ? QString::fromUtf16(e.english) : QString(),
                             e.chinese ? QString::fromUtf16(e.chinese) : QString()});
    }
    return duplicates.isEmpty() ? QString() : QStringLiteral("duplicate string ids: %1").arg(duplicates.join(u", "));
}

bool StringTable::contains(quint32 id) const {
    std::lock_guard lock(mutex_);
    return texts_.contains(id);
}

QString StringTable::text(quint32 id) const { return text(id, language()); }

QString StringTable::text(quint32 id, Language language) const {
    std::lock_guard lock(mutex_);
    auto it = texts_.constFind(id);
    if (it == texts_.constEnd()) return {};
    return language == Language::SimplifiedChinese && !it->chinese.isEmpty() ? it->chinese : it->english;
}

Language StringTable::language() const {
    std::lock_guard lock(mutex_);
    return language_;
}

void StringTable::setLanguage(Language language) {
    std::lock_guard lock(mutex_);
    language_ = language;
}

Language StringTable::languageFor(const QLocale& locale) {
    if (locale.language() != QLocale::Chinese) return Language::English;
    switch (locale.script()) {
    case QLocale::SimplifiedHanScript: return Language::SimplifiedChinese;
    case QLocale::TraditionalHanScript: return Language::English;
    default: break;
    }
    const auto t = locale.territory();
    return t == QLocale::China || t == QLocale::Singapore ? Language::SimplifiedChinese : Language::English;
}

} // namespace qvui
