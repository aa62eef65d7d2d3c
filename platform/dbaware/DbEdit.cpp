#include "platform/dbaware/DbEdit.h"

#include "platform/Error.h"
#include "platform/db/Table.h"
#include "platform/ui/AppError.h"
#include "platform/ui/UpperCase.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <algorithm>
#include <memory>

namespace vidra {

namespace {

bool editing(const Table* t)
{
    return t && (t->State() == DatasetState::Edit || t->State() == DatasetState::Insert);
}

// Puts a browsing table into edit state (insert state when it is empty);
// false when it cannot be edited at all.
bool beginEdit(Table* t)
{
    if (!t || !t->Active()) return false;
    if (editing(t)) return true;
    if (!t->CanModify()) return false;
    t->Edit();
    return editing(t);
}

// Keys that edit the text, whether or not this one changes it (Backspace at
// the start, Delete at the end, a character into a full box, cut with
// nothing selected).
bool isEditingKey(const QKeyEvent* e, bool multiLine)
{
    for (QKeySequence::StandardKey k :
         {QKeySequence::Cut, QKeySequence::Paste, QKeySequence::Undo, QKeySequence::Redo,
          QKeySequence::Delete, QKeySequence::Backspace, QKeySequence::DeleteStartOfWord,
          QKeySequence::DeleteEndOfWord, QKeySequence::DeleteEndOfLine,
          QKeySequence::DeleteCompleteLine})
        if (e->matches(k)) return true;
    switch (e->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return multiLine;
    default:
        break;
    }
    // Ctrl with a letter is a command (copy, select all), unless it comes
    // with Alt as AltGr does on some keyboards.
    const Qt::KeyboardModifiers m = e->modifiers();
    if ((m & Qt::MetaModifier) || ((m & Qt::ControlModifier) && !(m & Qt::AltModifier)))
        return false;
    const QString text = e->text();
    return !text.isEmpty() && text.at(0).category() != QChar::Other_Control;
}

} // namespace

// Composes and upper-cases what is typed; typing and pasting stop at the
// declared size, while a longer stored value is shown and kept whole.
class TypedTextValidator : public QValidator
{
public:
    explicit TypedTextValidator(DbEdit* box) : QValidator(box), m_box(box) {}
    State validate(QString& input, int& pos) const override
    {
        if (m_box->m_link.loading()) return Acceptable;
        ui::normalizeTyped(input, pos, m_box->m_upper);
        const qsizetype excess = input.size() - m_box->typedLimit();
        if (excess > 0 && m_box->typedLimit() > 0) {
            // What was just typed or pasted ends at the cursor.
            const qsizetype cut = std::min<qsizetype>(excess, pos);
            input.remove(pos - cut, cut);
            pos -= int(cut);
        }
        return Acceptable;
    }

private:
    DbEdit* m_box;
};

// ---------------------------------------------------------------- FieldLink

FieldLink::FieldLink(QWidget* box, std::function<QString()> text,
                     std::function<void(const QString&, const Field*)> show)
    : m_box(box), m_text(std::move(text)), m_show(std::move(show))
{
}

Table* FieldLink::table() const
{
    return m_source ? m_source->DataSet() : nullptr;
}

Field* FieldLink::field() const
{
    Table* t = table();
    return t && !m_field.isEmpty() ? t->FindField(m_field) : nullptr;
}

void FieldLink::setDataSource(DataSource* source, const std::function<void()>& reload)
{
    if (m_source) QObject::disconnect(m_source, nullptr, m_box, nullptr);
    m_source = source;
    if (source) {
        QObject::connect(source, &DataSource::recordChanged, m_box, reload);
        QObject::connect(source, &DataSource::dataChanged, m_box, reload);
        QObject::connect(source, &DataSource::stateChanged, m_box, reload);
        QObject::connect(source, &DataSource::updateRecord, m_box, [this] { updateRecord(); });
        QObject::connect(source, &DataSource::fieldChanged, m_box, [this, reload](int index) {
            const Field* f = field();
            if (f && f->Index() == index && !m_modified) reload();
        });
    }
    load();
}

void FieldLink::load()
{
    m_loading = true;
    const Field* f = field();
    const Table* t = table();
    m_show(f && t->Active() ? f->AsString() : QString(), f);
    m_modified = false;
    m_loading = false;
}

void FieldLink::edited(bool readOnly, const std::function<void()>& putBack)
{
    if (m_loading || readOnly) return;
    const bool wasEditing = editing(table());
    bool ok = false;
    ui::guarded([&] { ok = beginEdit(table()) && field(); });
    if (!ok) {
        load();
        return;
    }
    if (!wasEditing) {
        m_loading = true;
        putBack();
        m_loading = false;
    }
    m_modified = true;
}

bool FieldLink::beginEditing()
{
    if (m_loading) return false;
    bool ok = false;
    ui::guarded([&] { ok = beginEdit(table()) && field(); });
    return ok;
}

void FieldLink::updateRecord()
{
    Field* f = field();
    if (!m_modified || !f || !editing(table())) return;
    // An empty box stands for no value at all; typed text reaches the field
    // composed, so it compares equal to the same letters typed another way.
    const QString text = m_text().normalized(QString::NormalizationForm_C);
    f->SetValue(text.isEmpty() ? QVariant() : QVariant(text));
    m_modified = false;
}

// ---------------------------------------------------------------- DbEdit

DbEdit::DbEdit(QWidget* parent)
    : QLineEdit(parent),
      m_link(
          this, [this] { return text(); },
          [this](const QString& value, const Field* f) {
              m_declaredSize =
                  f && f->DataType() == FieldType::WideString ? std::max(0, f->Size()) : 0;
              // Shown whole, however long: a value too long
              // for its field was stored elsewhere and is
              // still the subscriber's.
              setText(m_upper ? ui::toUpperKeepingLength(value) : value);
              setCursorPosition(0);
          })
{
    setValidator(new TypedTextValidator(this));
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_lengthBefore = text.size(); });
    connect(this, &QLineEdit::textEdited, this, [this] {
        const QString typed = text();
        const int cursor = cursorPosition();
        m_link.edited(isReadOnly(), [this, typed, cursor] {
            setText(typed);
            setCursorPosition(cursor);
        });
    });
}

void DbEdit::setDataSource(DataSource* source)
{
    m_link.setDataSource(source, [this] { Reset(); });
}

void DbEdit::setDataField(const QString& fieldName)
{
    m_link.setDataField(fieldName);
    Reset();
}

void DbEdit::setUpperCase(bool on)
{
    m_upper = on;
    Reset();
}

int DbEdit::typedLimit() const
{
    if (m_declaredSize <= 0) return 0;
    return int(std::max<qsizetype>(m_declaredSize, m_lengthBefore));
}

void DbEdit::keyPressEvent(QKeyEvent* event)
{
    if (!isReadOnly() && !editing(m_link.table()) && isEditingKey(event, false)) {
        // Beginning the edit reloads the boxes; the key then acts where the
        // cursor and the selection were.
        const int cursor = cursorPosition();
        const int start = selectionStart();
        const int end = selectionEnd();
        m_link.beginEditing();
        if (start >= 0 && end > start)
            setSelection(cursor == start ? end : start,
                         cursor == start ? start - end : end - start);
        else
            setCursorPosition(cursor);
    }
    QLineEdit::keyPressEvent(event);
}

void DbEdit::focusOutEvent(QFocusEvent* event)
{
    ui::guarded([this] { UpdateRecord(); });
    QLineEdit::focusOutEvent(event);
}

// ---------------------------------------------------------------- DbMemo

DbMemo::DbMemo(QWidget* parent)
    : QPlainTextEdit(parent), m_link(
                                  this, [this] { return toPlainText(); },
                                  [this](const QString& value, const Field*) { showValue(value); })
{
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        const QString typed = toPlainText();
        const int cursor = textCursor().position();
        m_link.edited(isReadOnly(), [this, typed, cursor] {
            setPlainText(typed);
            QTextCursor c = textCursor();
            c.setPosition(cursor);
            setTextCursor(c);
        });
    });
}

void DbMemo::showValue(const QString& value)
{
    setWordWrapMode(value.size() > kWordWrapLimit ? QTextOption::WrapAnywhere
                                                  : QTextOption::WrapAtWordBoundaryOrAnywhere);
    const bool part = value.size() > kShownLimit;
    if (part && !m_part) {
        m_flagsBeforePart = textInteractionFlags();
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    } else if (!part && m_part) {
        setTextInteractionFlags(m_flagsBeforePart);
    }
    m_part = part;
    if (!part) {
        m_whole.clear();
        setToolTip(QString());
        setPlainText(value);
        return;
    }
    m_whole = value;
    qsizetype shown = kShownLimit;
    if (value.at(shown - 1).isHighSurrogate()) --shown;
    setPlainText(value.left(shown) +
                 QStringLiteral("\n[… još %1 znakova]").arg(value.size() - shown));
    setToolTip(QStringLiteral("Prikazan je početak napomene: %1 od %2 znakova. Napomena se čuva "
                              "cela i ovde se ne menja; iz menija se može kopirati cela.")
                   .arg(shown)
                   .arg(value.size()));
}

void DbMemo::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    if (m_part) {
        menu->addSeparator();
        const QString whole = m_whole;
        menu->addAction(QStringLiteral("Kopiraj celu napomenu"),
                        [whole] { QGuiApplication::clipboard()->setText(whole); });
    }
    menu->exec(event->globalPos());
}

void DbMemo::setDataSource(DataSource* source)
{
    m_link.setDataSource(source, [this] { Reset(); });
}

void DbMemo::setDataField(const QString& fieldName)
{
    m_link.setDataField(fieldName);
    Reset();
}

void DbMemo::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && !isReadOnly()) {
        // Drops what was typed since the text was last written to the field.
        Reset();
        event->accept();
        return;
    }
    if (m_part && isEditingKey(event, true)) {
        // The part shown is not the note: nothing typed may replace it.
        event->accept();
        return;
    }
    if (!isReadOnly() && !editing(m_link.table()) && isEditingKey(event, true)) {
        const QTextCursor before = textCursor();
        m_link.beginEditing();
        QTextCursor after = textCursor();
        after.setPosition(before.anchor());
        after.setPosition(before.position(), QTextCursor::KeepAnchor);
        setTextCursor(after);
    }
    QPlainTextEdit::keyPressEvent(event);
}

void DbMemo::focusOutEvent(QFocusEvent* event)
{
    ui::guarded([this] { UpdateRecord(); });
    QPlainTextEdit::focusOutEvent(event);
}

} // namespace vidra
