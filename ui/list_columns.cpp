#include "list_columns.h"

#include <string>
#include <vector>

#include <QFont>
#include <QHeaderView>
#include <QItemSelection>
#include <QTableWidget>

namespace {

QTableWidgetItem *ReadOnlyItem(const QString &text)
{
  auto *item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

}  // namespace

void SetupDeviceTable(QTableWidget *view)
{
  // The columns are 105 pixels wide, laid out for a narrow interface font.
  // A semi-condensed face, where the system has one, lets a whole MAC
  // address fit; elsewhere the font stays as it is.
  QFont cells = view->font();
  cells.setStretch(QFont::SemiCondensed);
  view->setFont(cells);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setSortingEnabled(false);
  view->setWordWrap(false);
  view->verticalHeader()->hide();
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
  view->horizontalHeader()->setHighlightSections(false);
  view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void AddColumns(const int *ids, int count, QTableWidget *view)
{
  for (int i = 0; i < count; ++i) {
    int col = view->columnCount();
    view->insertColumn(col);
    auto *header = new QTableWidgetItem(QString::fromStdString(ColumnCaption(ids, i)));
    header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->setHorizontalHeaderItem(col, header);
    view->setColumnWidth(col, ColumnWidth(ids, i));
    SetColumnTag(view, col, SortNone);
  }
}

TSortState ColumnTag(const QTableWidget *view, int column)
{
  QTableWidgetItem *header = view->horizontalHeaderItem(column);
  if (!header)
    return SortNone;
  return static_cast<TSortState>(header->data(Qt::UserRole).toInt());
}

void SetColumnTag(QTableWidget *view, int column, TSortState state)
{
  if (QTableWidgetItem *header = view->horizontalHeaderItem(column))
    header->setData(Qt::UserRole, static_cast<int>(state));
}

void AppendDeviceRow(QTableWidget *view, int position, const _DSNETINFO &net)
{
  const TDeviceRow texts = MakeDeviceRow(position, net);
  int row = view->rowCount();
  view->insertRow(row);
  for (int c = 0; c < DEVICE_COLUMN_COUNT; ++c) {
    QTableWidgetItem *item = ReadOnlyItem(QString::fromStdString(CellText(texts, c)));
    if (c == 0)
      item->setData(Qt::UserRole, position);
    view->setItem(row, c, item);
  }
}

int RowData(const QList<QTableWidgetItem *> &row)
{
  return row.isEmpty() || !row[0] ? -1 : row[0]->data(Qt::UserRole).toInt();
}

TDeviceRow RowTexts(const QList<QTableWidgetItem *> &row)
{
  TDeviceRow texts;
  texts.position = RowData(row);
  std::string *cells[DEVICE_COLUMN_COUNT] = {&texts.no, &texts.model, &texts.mac, &texts.ip};
  for (int c = 0; c < DEVICE_COLUMN_COUNT && c < row.size(); ++c)
    if (row[c])
      *cells[c] = row[c]->text().toStdString();
  return texts;
}

void SortRows(QTableWidget *view,
              const std::function<int(const QList<QTableWidgetItem *> &,
                                      const QList<QTableWidgetItem *> &)> &compare)
{
  using Row = QList<QTableWidgetItem *>;
  const int rows = view->rowCount();
  const int cols = view->columnCount();
  if (rows < 2)
    return;

  std::vector<Row> items(rows);
  std::vector<bool> selected(rows);
  for (int r = 0; r < rows; ++r) {
    QTableWidgetItem *first = view->item(r, 0);
    selected[r] = first && first->isSelected();
    for (int c = 0; c < cols; ++c)
      items[r].append(view->takeItem(r, c));
  }

  std::vector<int> order = StableSortOrder(rows, [&](int a, int b) { return compare(items[a], items[b]); });

  view->clearSelection();
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c)
      view->setItem(r, c, items[order[r]][c]);
  QItemSelection keep;
  for (int r = 0; r < rows; ++r)
    if (selected[order[r]])
      keep.select(view->model()->index(r, 0), view->model()->index(r, cols - 1));
  if (!keep.isEmpty())
    view->selectionModel()->select(keep, QItemSelectionModel::Select);
}
