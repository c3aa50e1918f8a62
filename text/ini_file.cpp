#include "text/ini_file.h"

#include <QFile>
#include <QSaveFile>

namespace qvui {

namespace {

const QByteArray kUtf8Mark("\xEF\xBB\xBF");

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// Bytes [from, to) of `line` without surrounding blanks.
QByteArray trimmedRange(const QByteArray& line, qsizetype from, qsizetype to) {
    while (from < to && isBlank(line[from])) ++from;
    while (to > from && isBlank(line[to - 1])) --to;
    return line.mid(from, to - from);
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QString setError(QString* error, const QString& text) {
    if (error) *error = text;
    return text;
}

} // namespace

IniFile::IniFile(const QByteArray& bytes) {
    qsizetype start = 0;
    if (bytes.startsWith(kUtf8Mark)) {
        mark_ = kUtf8Mark;
        start = kUtf8Mark.size();
    }
    while (start < bytes.size()) {
        qsizetype nl = bytes.indexOf('\n', start);
        qsizetype end = nl < 0 ? bytes.size() : nl + 1;
        lines_.append(bytes.mid(start, end - start));
        start = end;
    }
    classify();
}

bool IniFile::load(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot open INI file %1: %2").arg(path, f.errorString()));
        return false;
    }
    if (f.size() > kMaxFileSize) {
        setError(error, QStringLiteral("INI file %1 is too large (%2 bytes, at most %3)").arg(path).arg(f.size()).arg(kMaxFileSize));
        return false;
    }
    // Read as it comes, never more than one byte past the limit: a buffer of the
    // limit's size for every load would cost each small file 16 MB.
    QByteArray data;
    while (data.size() <= kMaxFileSize) {
        const QByteArray chunk = f.read(qMin<qint64>(64 * 1024, kMaxFileSize + 1 - data.size()));
        if (chunk.isEmpty()) break;
        data += chunk;
    }
    if (data.size() > kMaxFileSize) {
        setError(error, QStringLiteral("INI file %1 is too large (more than %2 bytes)").arg(path).arg(kMaxFileSize));
        return false;
    }
    *this = IniFile(data);
    return true;
}

bool IniFile::save(const QString& path, QString* error) const {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        setError(error, QStringLiteral("cannot write INI file %1: %2").arg(path, f.errorString()));
        return false;
    }
    const QByteArray data = bytes();
    if (f.write(data) != data.size() || !f.commit()) {
        setError(error, QStringLiteral("cannot write INI file %1: %2").arg(path, f.errorString()));
        return false;
    }
    return true;
}

QByteArray IniFile::bytes() const {
    QByteArray out = mark_;
    for (const QByteArray& l : lines_) out += l;
    return out;
}

IniFile::Line IniFile::parseLine(qsizetype index) const {
    const QByteArray& raw = lines_[index];
    Line line;
    qsizetype end = raw.size();
    if (end > 0 && raw[end - 1] == '\n') --end;
    if (end > 0 && raw[end - 1] == '\r') --end;
    line.textEnd = end;
    qsizetype begin = 0;
    while (begin < end && isBlank(raw[begin])) ++begin;
    if (begin == end || raw[begin] == ';') return line; // blank or comment

    if (raw[begin] == '[') {
        qsizetype close = raw.lastIndexOf(']', end - 1);
        if (close > begin) {
            line.kind = Line::Section;
            line.name = QString::fromUtf8(trimmedRange(raw, begin + 1, close));
        }
        return line;
    }
    qsizetype eq = raw.indexOf('=', begin);
    if (eq < 0 || eq >= end) return line;
    QByteArray key = trimmedRange(raw, begin, eq);
    if (key.isEmpty()) return line;
    line.kind = Line::Entry;
    line.name = QString::fromUtf8(key);
    qsizetype v = eq + 1;
    while (v < end && isBlank(raw[v])) ++v;
    line.valueAt = v;
    return line;
}

void IniFile::classify() {
    parsed_.clear();
    parsed_.reserve(lines_.size());
    for (qsizetype i = 0; i < lines_.size(); ++i) parsed_.append(parseLine(i));
}

qsizetype IniFile::findSection(const QString& section) const {
    const QString name = section.trimmed();
    for (qsizetype i = 0; i < parsed_.size(); ++i)
        if (parsed_[i].kind == Line::Section && sameName(parsed_[i].name, name)) return i;
    return -1;
}

qsizetype IniFile::sectionEnd(qsizetype header) const {
    qsizetype i = header + 1;
    while (i < parsed_.size() && parsed_[i].kind != Line::Section) ++i;
    return i;
}

qsizetype IniFile::findKey(qsizetype header, const QString& key) const {
    const QString name = key.trimmed();
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i)
        if (parsed_[i].kind == Line::Entry && sameName(parsed_[i].name, name)) return i;
    return -1;
}

bool IniFile::hasSection(const QString& section) const { return findSection(section) >= 0; }

bool IniFile::hasKey(const QString& section, const QString& key) const {
    qsizetype s = findSection(section);
    return s >= 0 && findKey(s, key) >= 0;
}

QString IniFile::value(const QString& section, const QString& key, const QString& def) const {
    qsizetype s = findSection(section);
    if (s < 0) return def;
    qsizetype k = findKey(s, key);
    if (k < 0) return def;
    const Line& l = parsed_[k];
    QByteArray v = trimmedRange(lines_[k], l.valueAt, l.textEnd);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.mid(1, v.size() - 2);
    return QString::fromUtf8(v);
}

int IniFile::intValue(const QString& section, const QString& key, int def) const {
    if (!hasKey(section, key)) return def;
    return parseInt(value(section, key), def);
}

int IniFile::parseInt(QStringView text, int def) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    quint32 n = 0;
    qsizetype digits = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits)
        n = n * 10u + static_cast<quint32>(text[i].unicode() - u'0');
    if (digits == 0) return def;
    if (negative) n = 0u - n;
    return static_cast<int>(n);
}

QByteArray IniFile::lineEnding() const {
    for (const QByteArray& l : lines_)
        if (l.endsWith('\n')) return l.endsWith("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    return QByteArray("\r\n"); // the text-mode ending these files are designed with
}

void IniFile::ensureEndsWithLineBreak() {
    if (!lines_.isEmpty() && !lines_.back().endsWith('\n')) lines_.back() += lineEnding();
}

bool IniFile::setValue(const QString& section, const QString& key, const QString& value, QString* error) {
    const QString sec = section.trimmed();
    const QString k = key.trimmed();
    auto hasBreak = [](const QString& s) { return s.contains(u'\n') || s.contains(u'\r'); };
    if (sec.isEmpty() || hasBreak(sec) || sec.contains(u']')) {
        setError(error, QStringLiteral("invalid INI section name \"%1\"").arg(section));
        return false;
    }
    if (k.isEmpty() || hasBreak(k) || k.contains(u'=') || k.startsWith(u';') || k.startsWith(u'[')) {
        setError(error, QStringLiteral("invalid INI key name \"%1\" in section [%2]").arg(key, sec));
        return false;
    }
    if (hasBreak(value)) {
        setError(error, QStringLiteral("INI value for %1 in section [%2] contains a line break").arg(k, sec));
        return false;
    }
    const QByteArray v = value.toUtf8();
    qsizetype s = findSection(sec);
    if (s < 0) {
        ensureEndsWithLineBreak();
        const QByteArray eol = lineEnding();
        lines_.append('[' + sec.toUtf8() + ']' + eol);
        lines_.append(k.toUtf8() + '=' + v + eol);
    } else if (qsizetype at = findKey(s, k); at >= 0) {
        QByteArray& raw = lines_[at];
        const Line& l = parsed_[at];
        raw = raw.left(l.valueAt) + v + raw.mid(l.textEnd);
    } else {
        // After the section's last non-blank line, so blank separators stay before the next section.
        qsizetype after = sectionEnd(s) - 1;
        while (after > s && trimmedRange(lines_[after], 0, parsed_[after].textEnd).isEmpty()) --after;
        if (!lines_[after].endsWith('\n')) lines_[after] += lineEnding();
        lines_.insert(after + 1, k.toUtf8() + '=' + v + lineEnding());
    }
    classify();
    return true;
}

bool IniFile::removeKey(const QString& section, const QString& key) {
    qsizetype s = findSection(section);
    if (s < 0) return false;
    bool removed = false;
    for (qsizetype at; (at = findKey(s, key)) >= 0; removed = true) {
        lines_.removeAt(at);
        parsed_.removeAt(at);
    }
    return removed;
}

bool IniFile::removeSection(const QString& section) {
    bool removed = false;
    for (qsizetype s; (s = findSection(section)) >= 0; removed = true) {
        const qsizetype end = sectionEnd(s);
        lines_.remove(s, end - s);
        parsed_.remove(s, end - s);
    }
    return removed;
}

QString IniFile::readString(const QString& path, const QString& section, const QString& key, const QString& def) {
    IniFile f;
    return f.load(path) ? f.value(section, key, def) : def;
}

int IniFile::readInt(const QString& path, const QString& section, const QString& key, int def) {
    IniFile f;
    return f.load(path) ? f.intValue(section, key, def) : def;
}

namespace {
// Loads `path` for editing; a missing file starts empty.
bool loadForEdit(IniFile& f, const QString& path, QString* error) {
    return !QFile::exists(path) || f.load(path, error);
}
} // namespace

bool IniFile::writeString(const QString& path, const QString& section, const QString& key, const QString& value,
                          QString* error) {
    IniFile f;
    return loadForEdit(f, path, error) && f.setValue(section, key, value, error) && f.save(path, error);
}

bool IniFile::deleteKey(const QString& path, const QString& section, const QString& key, QString* error) {
    IniFile f;
    if (!loadForEdit(f, path, error)) return false;
    return !f.removeKey(section, key) || f.save(path, error);
}

bool IniFile::deleteSection(const QString& path, const QString& section, QString* error) {
    IniFile f;
    if (!loadForEdit(f, path, error)) return false;
    return !f.removeSection(section) || f.save(path, error);
}

} // namespace qvui
