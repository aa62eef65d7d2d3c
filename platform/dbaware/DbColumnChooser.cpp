#include "platform/dbaware/DbColumnChooser.h"

#include "platform/db/Table.h"
#include "platform/dbaware/DbGrid.h"
#include "platform/ui/Dialogs.h"

#include <QCheckBox>
#include <QEvent>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vidra {

DbColumnChooser::DbColumnChooser(DbGrid* grid)
    : QDialog(grid,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_grid(grid)
{
    setObjectName(QStringLiteral("frmSelectColumn"));
    const DbGrid::ChooserStrings& texts = grid->SelectColumnsDialogStrings();
    setWindowTitle(texts.Caption);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);
    setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2); // the window's border width
    layout->setSpacing(0);

    clbList = new QListWidget(this);
    clbList->setObjectName(QStringLiteral("clbList"));
    clbList->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(clbList, 1);

    auto* band = new QWidget(this);
    band->setFixedHeight(kBandHeight);
    layout->addWidget(band);

    cbWithFieldName = new QCheckBox(texts.RealNamesOption, band);
    cbWithFieldName->setObjectName(QStringLiteral("cbWithFieldName"));
    cbWithFieldName->setGeometry(18, -2, 165, 25);
    cbWithFieldName->hide();

    ButtonOK = new QPushButton(texts.OK, band);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setGeometry(56, 19, 75, 25);
    ButtonOK->setDefault(true);
    ButtonOK->setAutoDefault(true);

    connect(clbList, &QListWidget::itemChanged, this, &DbColumnChooser::itemChanged);
    connect(cbWithFieldName, &QCheckBox::clicked, this, &DbColumnChooser::RebuildList);
    connect(ButtonOK, &QPushButton::clicked, this, [this] {
        Apply();
        accept();
    });

    // The frame is the window system's; the outer size is corrected once shown.
    resize(kOuterWidth, kOuterHeight);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    RebuildList();
}

void DbColumnChooser::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_outerSizeSet) return;
    m_outerSizeSet = true;
    const QSize frame = frameGeometry().size() - geometry().size();
    if (!frame.isEmpty()) {
        setMinimumSize(QSize(kMinimumWidth, kMinimumHeight) - frame);
        resize(QSize(kOuterWidth, kOuterHeight) - frame);
    }
}

bool DbColumnChooser::event(QEvent* event)
{
    const bool result = QDialog::event(event);
    // Every activation shows the grid's state again.
    if (event->type() == QEvent::WindowActivate) RebuildList();
    return result;
}

void DbColumnChooser::RebuildList()
{
    m_rebuilding = true;
    clbList->clear();
    cbWithFieldName->hide();
    Table* table = m_grid->table();
    if (table && table->Active()) {
        for (int f = 0; f < table->FieldCount(); ++f) {
            const QString& name = table->Fields(f).FieldName();
            int position = -1;
            for (int c = 0; c < m_grid->columnCount(); ++c) {
                if (m_grid->column(c).fieldName == name) {
                    position = c;
                    break;
                }
            }
            if (position < 0) continue; // a field without a column is not offered
            const DbGridColumn& column = m_grid->column(position);
            QString text = column.title;
            if (column.title.compare(name, Qt::CaseInsensitive) != 0) {
                cbWithFieldName->show();
                if (cbWithFieldName->isChecked())
                    text = column.title + QStringLiteral(" [") + name + QStringLiteral("]");
            }
            auto* item = new QListWidgetItem(text, clbList);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setData(kColumnRole, position);
            item->setCheckState(column.visible ? Qt::Checked : Qt::Unchecked);
        }
    }
    if (clbList->count() > 0) clbList->setCurrentRow(0);
    m_rebuilding = false;
    fitHeight();
}

int DbColumnChooser::listClientHeight() const
{
    // From the geometry, which is current even before the list has been laid out.
    int h = clbList->height() - 2 * clbList->frameWidth();
    if (clbList->horizontalScrollBar()->isVisible()) h -= clbList->horizontalScrollBar()->height();
    return h;
}

void DbColumnChooser::fitHeight()
{
    const int n = clbList->count();
    if (n == 0) return;
    layout()->activate(); // the list's geometry for the window's present size
    const int line = std::max(1, clbList->sizeHintForRow(0));
    if (n * line >= kMaximumListHeight) {
        resize(width(), kMaximumListHeight);
        return;
    }
    // Grow a line at a time; never shrink. The bound only guards against a
    // list that does not grow with the window.
    for (int i = 0; i <= n && listClientHeight() < n * line; ++i) {
        resize(width(), height() + line);
        layout()->activate();
    }
}

void DbColumnChooser::itemChanged(QListWidgetItem* item)
{
    if (m_rebuilding) return;
    for (int i = 0; i < clbList->count(); ++i)
        if (clbList->item(i)->checkState() == Qt::Checked) return;
    ui::warningBox(m_grid->SelectColumnsDialogStrings().NoSelectionWarning);
    QListWidgetItem* selected = clbList->currentItem() ? clbList->currentItem() : item;
    m_rebuilding = true;
    selected->setCheckState(Qt::Checked);
    m_rebuilding = false;
}

void DbColumnChooser::Apply()
{
    m_grid->BeginLayout();
    for (int i = 0; i < clbList->count(); ++i) {
        const QListWidgetItem* item = clbList->item(i);
        m_grid->setColumnVisible(item->data(kColumnRole).toInt(),
                                 item->checkState() == Qt::Checked);
    }
    m_grid->EndLayout();
}

} // namespace vidra
