#pragma once
// The grid's column chooser: a small tool window listing the columns that
// show a field of the table, ticked while visible. Enter or its button
// applies the ticks in one layout pass; Escape leaves everything as it was.
#include <QDialog>

class QCheckBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace vidra {

class DbGrid;

class DbColumnChooser : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kOuterWidth = 197;
    static constexpr int kOuterHeight = 248;
    static constexpr int kMinimumWidth = 100;
    static constexpr int kMinimumHeight = 140;
    static constexpr int kBandHeight = 50;
    static constexpr int kMaximumListHeight = 400;
    // Grid column position of each list item.
    static constexpr int kColumnRole = Qt::UserRole + 1;

    explicit DbColumnChooser(DbGrid* grid);

    QListWidget* list() const { return clbList; }
    QCheckBox* withFieldName() const { return cbWithFieldName; }
    QPushButton* okButton() const { return ButtonOK; }

    // Lists the grid's columns as they are now; ticks not yet applied are lost.
    void RebuildList();
    // Sets each listed column's visibility to its tick, in one layout pass.
    void Apply();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void itemChanged(QListWidgetItem* item);
    void fitHeight();
    int listClientHeight() const;

    DbGrid* m_grid;
    QListWidget* clbList;
    QCheckBox* cbWithFieldName;
    QPushButton* ButtonOK;
    bool m_rebuilding = false;
    bool m_outerSizeSet = false;
};

} // namespace vidra
