#include "list_columns.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <QFont>
#include <QHeaderView>
#include <QItemSelection>
#include <QTableWidget>

#include "devtext.h"
#include "texttable.h"

const int DEVICE_COLUMN_IDS[4] = {10, 11, 12, 13};

namespace {

// A column's width may be given by the text whose id is its caption's + 900.
constexpr int kWidthIdOffset = 900;
constexpr int kFirstColumnWidth = 70;
constexpr int kOtherColumnWidth = 105;

int TextAsInt(const std::string &text, int def)
{
  if (text.empty())
    return def;
  errno = 0;
  char *end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < INT_MIN || v > INT_MAX)
    return def;
  return static_cast<int>(v);
}

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
    auto *header = new QTableWidgetItem(QString::fromStdString(LoadStr(ids[i])));
    header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->setHorizontalHeaderItem(col, header);
    int def = i == 0 ? kFirstColumnWidth : kOtherColumnWidth;
    view->setColumnWidth(col, TextAsInt(LoadStr(ids[i] + kWidthIdOffset), def));
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
  int row = view->rowCount();
  view->insertRow(row);
  QTableWidgetItem *no = ReadOnlyItem(QString::number(position + 1));
  no->setData(Qt::UserRole, position);
  view->setItem(row, 0, no);
  view->setItem(row, 1, ReadOnlyItem(QString::fromStdString(ModelText(net.apid, net.hwid))));
  view->setItem(row, 2, ReadOnlyItem(QString::fromStdString(MacText(net.mac))));
  view->setItem(row, 3, ReadOnlyItem(QString::fromStdString(IpText(net.ip, true))));
}

int RowData(const QList<QTableWidgetItem *> &row)
{
  return row.isEmpty() || !row[0] ? -1 : row[0]->data(Qt::UserRole).toInt();
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

  // Bottom-up merge sort over row indices.
  std::vector<int> order(rows), tmp(rows);
  for (int r = 0; r < rows; ++r)
    order[r] = r;
  for (int width = 1; width < rows; width *= 2) {
    for (int lo = 0; lo < rows; lo += 2 * width) {
      int mid = std::min(lo + width, rows), hi = std::min(lo + 2 * width, rows);
      int a = lo, b = mid, out = lo;
      while (a < mid && b < hi)
        tmp[out++] = compare(items[order[a]], items[order[b]]) > 0 ? order[b++] : order[a++];
      while (a < mid)
        tmp[out++] = order[a++];
      while (b < hi)
        tmp[out++] = order[b++];
    }
    order.swap(tmp);
  }

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
