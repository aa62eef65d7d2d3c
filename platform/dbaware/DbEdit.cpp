#include "platform/dbaware/DbEdit.h"

#include "platform/Error.h"
#include "platform/db/Table.h"
#include "platform/ui/AppError.h"
#include "platform/ui/UpperCase.h"

#include <QKeyEvent>

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

} // namespace

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

void FieldLink::setDataSource(DataSource* source, std::function<void()> reload)
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

void FieldLink::updateRecord()
{
    Field* f = field();
    if (!m_modified || !f || !editing(table())) return;
    // An empty box stands for no value at all.
    const QString text = m_text();
    f->SetValue(text.isEmpty() ? QVariant() : QVariant(text));
    m_modified = false;
}

// ---------------------------------------------------------------- DbEdit

DbEdit::DbEdit(QWidget* parent)
    : QLineEdit(parent), m_link(
                             this, [this] { return text(); },
                             [this](const QString& value, const Field* f) {
                                 if (f && f->DataType() == FieldType::WideString && f->Size() > 0)
                                     setMaxLength(f->Size());
                                 setText(m_upper ? value.toUpper() : value);
                                 setCursorPosition(0);
                             })
{
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
    setValidator(on ? new ui::UpperCaseValidator(this) : nullptr);
    Reset();
}

void DbEdit::focusOutEvent(QFocusEvent* event)
{
    ui::guarded([this] { UpdateRecord(); });
    QLineEdit::focusOutEvent(event);
}

// ---------------------------------------------------------------- DbMemo

DbMemo::DbMemo(QWidget* parent)
    : QPlainTextEdit(parent),
      m_link(
          this, [this] { return toPlainText(); },
          [this](const QString& value, const Field*) { setPlainText(value); })
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
    QPlainTextEdit::keyPressEvent(event);
}

void DbMemo::focusOutEvent(QFocusEvent* event)
{
    ui::guarded([this] { UpdateRecord(); });
    QPlainTextEdit::focusOutEvent(event);
}

} // namespace vidra
