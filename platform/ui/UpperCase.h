#pragma once
// Letters typed or pasted into a box arrive in upper case, č ć đ š ž included.
#include <QValidator>

namespace vidra::ui {

class UpperCaseValidator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

} // namespace vidra::ui
