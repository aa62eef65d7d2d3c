#pragma once
// Data-aware text boxes bound to one field of a data source's current row.
// They show the field's value and follow every move of the row. An editable
// box puts a browsing table into edit state at the first editing key (insert
// state when the table is empty); its text reaches the field when the focus
// leaves it and before every post. A read-only box never edits.
#include "platform/dbaware/DataSource.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <functional>

namespace vidra {

class Field;
class Table;

// What both kinds of box share: the binding to a field and the way an edit
// begins and reaches the field. The box supplies how its text is read and
// shown.
class FieldLink
{
public:
    // show(text, field) puts a value loaded from the field into the box.
    FieldLink(QWidget* box, std::function<QString()> text,
              std::function<void(const QString&, const Field*)> show);

    void setDataSource(DataSource* source, const std::function<void()>& reload);
    DataSource* dataSource() const { return m_source; }
    void setDataField(const QString& fieldName) { m_field = fieldName; }
    const QString& dataField() const { return m_field; }
    Table* table() const;
    Field* field() const;

    void load();
    // After the user changed the text: begins the edit, or takes the change
    // back when the table cannot be edited. Beginning the edit reloads the
    // row's boxes; putBack then restores what the user typed.
    void edited(bool readOnly, const std::function<void()>& putBack);
    // At the first editing key, before the box acts on it: puts a browsing
    // table into edit state (insert state when empty) even when the key will
    // not change the text. False when the table cannot be edited.
    bool beginEditing();
    void updateRecord();
    bool modified() const { return m_modified; }
    bool loading() const { return m_loading; }

private:
    QWidget* m_box;
    std::function<QString()> m_text;
    std::function<void(const QString&, const Field*)> m_show;
    QPointer<DataSource> m_source;
    QString m_field;
    bool m_modified = false;
    bool m_loading = false;
};

class DbEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit DbEdit(QWidget* parent = nullptr);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString& fieldName);
    const QString& dataField() const { return m_link.dataField(); }
    // Letters typed, pasted or shown appear in upper case.
    void setUpperCase(bool on);
    bool upperCase() const { return m_upper; }
    // How many characters typing may bring the text to: the field's declared
    // size, or the stored value's length where that is longer already.
    int typedLimit() const;

    // Writes the text into the field if it was changed since it was loaded.
    void UpdateRecord() { m_link.updateRecord(); }
    // Reloads the text from the field, dropping what was typed since.
    void Reset() { m_link.load(); }
    // Whether the text was changed by the user since it was loaded.
    bool Modified() const { return m_link.modified(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class TypedTextValidator;
    bool m_upper = false;
    // The declared size of the bound text field; 0: no limit.
    int m_declaredSize = 0;
    // The text's length before the change being validated.
    qsizetype m_lengthBefore = 0;
    FieldLink m_link;
};

class DbMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    // A note longer than this many characters is shown in part: laying out
    // megabytes would stall the window. The part cannot be edited, so a save
    // never cuts the note; the whole note can still be copied.
    static constexpr int kShownLimit = 200'000;
    // Above this length a line breaks anywhere: breaking only between words
    // costs time that grows with the square of a long word's length.
    static constexpr int kWordWrapLimit = 10'000;

    explicit DbMemo(QWidget* parent = nullptr);
    // Whether the current value is shown only in part.
    bool ShowsPart() const { return m_part; }

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString& fieldName);
    const QString& dataField() const { return m_link.dataField(); }

    void UpdateRecord() { m_link.updateRecord(); }
    void Reset() { m_link.load(); }
    bool Modified() const { return m_link.modified(); }

protected:
    // Escape reloads the box from its field.
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void showValue(const QString& value);

    FieldLink m_link;
    bool m_part = false;
    QString m_whole; // the value shown in part
    Qt::TextInteractionFlags m_flagsBeforePart;
};

} // namespace vidra
