#pragma once
// A read-only, data-aware browser over one table: a title row, an indicator
// column and one row per record. It paints its rows itself and holds only as
// many records as whole rows fit on screen; its current row is always the
// table's current record, in both directions. Columns always fill the width
// (FitColumns), rows are striped by screen position, and the whole current
// row is highlighted while the grid has the focus.
#include "platform/dbaware/DataSource.h"
#include "platform/dbaware/GridLayout.h"
#include "platform/dbaware/GridScroll.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace vidra {

class Table;

class DbGrid : public QAbstractScrollArea
{
    Q_OBJECT
public:
    enum Option
    {
        dgEditing = 0x0001, // accepted for completeness: the grid never edits
        dgAlwaysShowEditor = 0x0002,
        dgTitles = 0x0004,
        dgIndicator = 0x0008,
        dgColumnResize = 0x0010, // columns are never resized by the mouse
        dgColLines = 0x0020,
        dgRowLines = 0x0040,
        dgTabs = 0x0080,      // Tab is never taken: it moves the focus on
        dgRowSelect = 0x0100, // the grid always selects whole rows
        dgAlwaysShowSelection = 0x0200,
        dgConfirmDelete = 0x0400,
        dgCancelOnExit = 0x0800, // the grid never inserts, so there is nothing to cancel
        dgMultiSelect = 0x1000,  // one selected row at most
    };
    Q_DECLARE_FLAGS(OptionSet, Option)

    // The texts of the column chooser.
    struct ChooserStrings
    {
        QString Caption = QStringLiteral("Pregled kolona u tabeli");
        QString RealNamesOption = QStringLiteral("[With the real field name]");
        QString OK = QStringLiteral("&U redu");
        QString NoSelectionWarning = QStringLiteral("Najmanje jedna kolona mora biti vidljiva!");
    };

    static constexpr int kIndicatorWidth = 11;
    static constexpr int kGridLineWidth = 1;
    static constexpr int kMarkWidth = 6;
    static constexpr int kMarkHeight = 11;
    static constexpr int kTitleArrowSize = 9;

    explicit DbGrid(QWidget* parent = nullptr);
    ~DbGrid() override;

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return m_source; }
    // The bound table, or null.
    Table* table() const;

    // --- settings; the defaults are those of the directory grid (options,
    // colour red 217 green 236 blue 255, title arrow, fitted columns)
    OptionSet Options() const { return m_options; }
    void SetOptions(OptionSet options);
    QColor Color() const { return m_color; }
    void SetColor(const QColor& color);
    // The palette's tooltip background unless set.
    QColor AlternateRowColor() const;
    void SetAlternateRowColor(const QColor& color);
    // The palette's button face unless set.
    QColor FixedColor() const;
    void SetFixedColor(const QColor& color);
    bool TitleArrow() const { return m_titleArrow; }
    void SetTitleArrow(bool on);
    bool AutoSizeColumns() const { return m_autoSizeColumns; }
    void SetAutoSizeColumns(bool on);
    // The grid's own font unless set.
    QFont TitleFont() const;
    void SetTitleFont(const QFont& font);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool on) { m_readOnly = on; }
    ChooserStrings& SelectColumnsDialogStrings() { return m_chooserStrings; }
    const ChooserStrings& SelectColumnsDialogStrings() const { return m_chooserStrings; }
    // Opened on the release of a right click; owned by the caller.
    void setPopupMenu(QMenu* menu) { m_popup = menu; }
    QMenu* popupMenu() const { return m_popup; }

    // --- columns, in display order
    int addColumn(const QString& fieldName, const QString& caption, int width);
    int columnCount() const { return int(m_columns.size()); }
    const DbGridColumn& column(int index) const { return m_columns.at(size_t(index)); }
    int columnWidth(int index) const { return column(index).width; }
    void setColumnWidth(int index, int width);
    bool columnVisible(int index) const { return column(index).visible; }
    void setColumnVisible(int index, bool visible);
    // Changes made between these calls are laid out once, at the outermost end.
    void BeginLayout();
    void EndLayout();

    // Keeps the visible columns exactly as wide as the client area; the last
    // visible column takes the remainder of the rounding. Waits until the
    // grid is shown: before that its size is not yet the real one.
    void FitColumns();
    // Runs the column chooser modally; does nothing while the table is closed.
    void ShowColumnChooser();

    // --- geometry (client coordinates; grid column 0 is the indicator,
    // grid row 0 the title row where they are shown)
    int titleRowHeight() const { return m_titleHeight; }
    int dataRowHeight() const { return m_rowHeight; }
    // Whole data rows that fit below the title row (at least 1).
    int visibleRowCount() const { return m_bufferRows; }
    // Table position shown in the first data row.
    int topRow() const { return m_top; }
    // Data rows painted: records shown, or 1 blank row while closed or empty.
    int paintedRowCount() const;
    // Screen row (0-based among data rows) of the current record, or -1.
    int currentScreenRow() const;
    QRect cellRect(int gridColumn, int gridRow) const;
    QRect topLeftCellRect() const { return hasTitleArrowCell() ? cellRect(0, 0) : QRect(); }
    // The grid row (0 = title) under a client point, or -1 below the rows.
    int gridRowAt(const QPoint& pos) const;

    // --- the scroll bar as the table sets it: range from minimum to maximum
    // with a page, so that the last position is maximum - page + 1.
    using ScrollInfo = gridscroll::ScrollInfo;
    ScrollInfo scrollInfo() const { return m_scroll; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool tableActive() const;
    // The fixed parts of the layout, from the options and the row heights.
    gridlayout::Frame frame() const;
    bool hasTitleArrowCell() const;

    void layoutChanged();
    void updateRowHeights();
    void updateBufferRows();
    void followTable();
    void updateScrollBar();
    void onStateChanged();
    void onDataChanged();
    void onRecordChanged();

    void moveBy(int distance);
    void moveToTopRow();
    void moveToBottomRow();
    void deleteCurrent();
    void scrollAction(int action);
    void thumbReleased();
    void barValueChanged(int value);
    // Moves to what a position of the bar stands for, as a released thumb does.
    void jumpTo(int position);
    // Runs a move of the current record; the bar then shows the record,
    // also when the move failed.
    void followedByBar(const std::function<void()>& move);
    bool scrollBarEvent(QEvent* event);
    void popupAtCurrentRow();
    void moveByWheel(bool down, Qt::KeyboardModifiers modifiers);

    void paintDataCell(QPainter& p, const QRect& cell, int gridRow, int column, int position,
                       bool current);
    void paintFixedCell(QPainter& p, const QRect& cell);
    void paintLines(QPainter& p, const QRect& cell, const QColor& color);

    QPointer<DataSource> m_source;
    std::vector<DbGridColumn> m_columns;
    OptionSet m_options;
    QColor m_color;
    std::optional<QColor> m_alternateColor;
    std::optional<QColor> m_fixedColor;
    std::optional<QFont> m_titleFont;
    bool m_titleArrow = true;
    bool m_autoSizeColumns = true;
    bool m_readOnly = false;
    ChooserStrings m_chooserStrings;
    QPointer<QMenu> m_popup;

    int m_titleHeight = 0;
    int m_rowHeight = 0;
    int m_bufferRows = 1;
    int m_top = 0;
    bool m_wasActive = false;
    int m_layoutLock = 0;
    bool m_layoutPending = false;
    bool m_fitting = false;
    // Remembers the widths from before a squeeze until there is room again.
    gridlayout::ColumnFitter m_fitter;
    bool m_inLayout = false;
    int m_wheelRemainder = 0;
    ScrollInfo m_scroll;
    bool m_updatingScrollBar = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(DbGrid::OptionSet)

} // namespace vidra
