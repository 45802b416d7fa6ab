#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

namespace nimbrook {

// Walks a text by code point. An unpaired surrogate comes back as itself
// (category Cs), so the caller sees it rather than losing it.
class CodePoints {
public:
    explicit CodePoints(QStringView text)
        : text_(text) {}
    bool hasNext() const { return index_ < text_.size(); }
    // Where the next code point starts, in UTF-16 units.
    qsizetype index() const { return index_; }
    char32_t next() {
        const char16_t unit = text_[index_++].unicode();
        if (QChar::isHighSurrogate(unit) && index_ < text_.size() &&
            QChar::isLowSurrogate(text_[index_].unicode()))
            return QChar::surrogateToUcs4(unit, text_[index_++].unicode());
        return unit;
    }

private:
    QStringView text_;
    qsizetype index_ = 0;
};

inline void appendCodePoint(QString& out, char32_t c) {
    if (QChar::requiresSurrogates(c)) {
        out.append(QChar(QChar::highSurrogate(c)));
        out.append(QChar(QChar::lowSurrogate(c)));
    } else {
        out.append(QChar(char16_t(c)));
    }
}

} // namespace nimbrook
