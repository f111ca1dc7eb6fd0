#include "result_share.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QTableWidget>

#include "utf8text.h"

namespace {

std::string CellText(const QTableWidget *view, int row, int column)
{
  const QTableWidgetItem *item = view->item(row, column);
  return item ? item->text().toStdString() : std::string();
}

}  // namespace

std::vector<TResultRow> ViewRows(const QTableWidget *view, bool selected_only)
{
  std::vector<TResultRow> rows;
  for (int r = 0; r < view->rowCount(); ++r) {
    if (selected_only && !view->selectionModel()->isRowSelected(r, QModelIndex()))
      continue;
    rows.push_back({CellText(view, r, 0), CellText(view, r, 1), CellText(view, r, 2), CellText(view, r, 3)});
  }
  return rows;
}

void PutOnClipboard(const QString &text)
{
  QClipboard *clipboard = QGuiApplication::clipboard();
  clipboard->setText(text, QClipboard::Clipboard);
  if (clipboard->supportsSelection())
    clipboard->setText(text, QClipboard::Selection);
}
