#include "platform/ui/UpperCase.h"

namespace vidra::ui {

QValidator::State UpperCaseValidator::validate(QString& input, int& pos) const
{
    const qsizetype before = input.size();
    input = input.toUpper();
    // A letter whose capital is longer (ß to SS) moves the cursor along.
    pos = int(std::clamp<qsizetype>(pos + (input.size() - before), 0, input.size()));
    return Acceptable;
}

} // namespace vidra::ui
