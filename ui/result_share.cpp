#include "result_share.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QStringList>
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

QString CopyText(const std::vector<TResultRow> &rows, TCopyWhat what)
{
  // A tab or line end inside a field (a model name from the model file may
  // hold one) would split the row; control characters show as U+FFFD, as
  // in the text table.
  auto field = [](const std::string &text) { return Utf8Displayable(text); };
  QStringList lines;
  for (const TResultRow &r : rows) {
    switch (what) {
    case TCopyWhat::Rows:
      lines << QString::fromStdString(field(r.no) + '\t' + field(r.model) + '\t' + field(r.mac) + '\t' +
                                      field(r.ip));
      break;
    case TCopyWhat::IpAddress:
      lines << QString::fromStdString(field(r.ip));
      break;
    case TCopyWhat::MacAddress:
      lines << QString::fromStdString(field(r.mac));
      break;
    }
  }
  return lines.join('\n');
}

void PutOnClipboard(const QString &text)
{
  QClipboard *clipboard = QGuiApplication::clipboard();
  clipboard->setText(text, QClipboard::Clipboard);
  if (clipboard->supportsSelection())
    clipboard->setText(text, QClipboard::Selection);
}

TResultFormat FormatForFileName(const QString &path, TResultFormat fallback)
{
  QString type = QFileInfo(path).suffix().toLower();
  if (type == "csv")
    return TResultFormat::Csv;
  if (type == "json")
    return TResultFormat::Json;
  if (type == "txt")
    return TResultFormat::Table;
  return fallback;
}
