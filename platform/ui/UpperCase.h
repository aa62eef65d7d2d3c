#pragma once
// Text as the operator types it: composed (NFC), so a decomposed "š" is the
// same text as a composed one, and in boxes that want it, upper case,
// č ć đ š ž included.
#include <QString>
#include <QValidator>

namespace vidra::ui {

// Upper case letter for letter: a letter whose capital is longer ("ß", "ŉ")
// stays as it is, so the text keeps its length and fits its field.
QString toUpperKeepingLength(const QString& text);

// The typed text composed (NFC) and, when upper is set, upper-cased letter
// for letter; pos follows the text's change in length.
void normalizeTyped(QString& input, int& pos, bool upper);

class UpperCaseValidator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

} // namespace vidra::ui
