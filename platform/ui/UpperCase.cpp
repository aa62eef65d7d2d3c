#include "platform/ui/UpperCase.h"

#include <algorithm>

namespace vidra::ui {

QString toUpperKeepingLength(const QString& text)
{
    QString out = text;
    for (qsizetype i = 0; i < out.size();) {
        const bool pair =
            out[i].isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate();
        const char32_t cp = pair ? QChar::surrogateToUcs4(out[i], out[i + 1]) : out[i].unicode();
        // The simple mapping: one letter for one letter.
        const char32_t up = QChar::toUpper(cp);
        if (up != cp && QChar::requiresSurrogates(up) == pair) {
            if (pair) {
                out[i] = QChar(QChar::highSurrogate(up));
                out[i + 1] = QChar(QChar::lowSurrogate(up));
            } else {
                out[i] = QChar(char16_t(up));
            }
        }
        i += pair ? 2 : 1;
    }
    return out;
}

void normalizeTyped(QString& input, int& pos, bool upper)
{
    const qsizetype before = input.size();
    QString text = input.normalized(QString::NormalizationForm_C);
    if (upper) text = toUpperKeepingLength(text);
    // Composing shortens the text just before the cursor, where it was typed.
    pos = int(std::clamp<qsizetype>(pos + (text.size() - before), 0, text.size()));
    input = text;
}

QValidator::State UpperCaseValidator::validate(QString& input, int& pos) const
{
    normalizeTyped(input, pos, true);
    return Acceptable;
}

} // namespace vidra::ui
