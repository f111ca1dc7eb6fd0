#include "device_view.h"

#include "arrow_shape.h"
#include "win_util.h"

namespace {

std::wstring Cell(HWND list, int index, int column)
{
  wchar_t text[256];
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = static_cast<int>(sizeof text / sizeof text[0]);
  int n = static_cast<int>(SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(&item)));
  return std::wstring(text, static_cast<size_t>(n > 0 ? n : 0));
}

COLORREF RgbOf(uint32_t rgb)
{
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// One arrow as a size x size bitmap, the shape scaled without smoothing.
HBITMAP ArrowBitmap(bool up, int size)
{
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, size, size};
  FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      TArrowPixel p = ArrowPixel(up, x * ARROW_SIZE / size, y * ARROW_SIZE / size);
      if (p != TArrowPixel::None)
        SetPixel(dc, x, y, RgbOf(p == TArrowPixel::Shadow ? ARROW_SHADOW_RGB : ARROW_LIGHT_RGB));
    }
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return bitmap;
}

}  // namespace

void AddDeviceColumns(HWND list, UINT dpi)
{
  for (int i = 0; i < DEVICE_COLUMN_COUNT; ++i) {
    std::wstring caption = WideOf(ColumnCaption(DEVICE_COLUMN_IDS, i, ResStr));
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    col.fmt = LVCFMT_LEFT;
    col.pszText = caption.data();
    col.cx = Scale(ColumnWidth(DEVICE_COLUMN_IDS, i, ResStr), dpi);
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
  }
}

void ScaleDeviceColumns(HWND list, UINT dpi)
{
  for (int i = 0; i < DEVICE_COLUMN_COUNT; ++i)
    SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i),
                 MAKELPARAM(Scale(ColumnWidth(DEVICE_COLUMN_IDS, i, ResStr), dpi), 0));
}

void AppendDeviceRow(HWND list, const TDeviceRow &row)
{
  int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  std::wstring no = WideOf(row.no);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = count;
  item.pszText = no.data();
  item.lParam = row.position;
  int index = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  for (int c = 1; c < DEVICE_COLUMN_COUNT; ++c) {
    std::wstring text = WideOf(CellText(row, c));
    LVITEMW sub{};
    sub.iSubItem = c;
    sub.pszText = text.data();
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&sub));
  }
}

int RowData(HWND list, int index)
{
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = index;
  if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
    return -1;
  return static_cast<int>(item.lParam);
}

std::vector<TResultRow> ViewRows(HWND list, bool selected_only)
{
  std::vector<TResultRow> rows;
  int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    if (selected_only && !(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) & LVIS_SELECTED))
      continue;
    rows.push_back({Utf8Of(Cell(list, i, 0)), Utf8Of(Cell(list, i, 1)), Utf8Of(Cell(list, i, 2)),
                    Utf8Of(Cell(list, i, 3))});
  }
  return rows;
}

HIMAGELIST MakeArrowImages(UINT dpi)
{
  int size = Scale(ARROW_SIZE, dpi);
  HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR24, 2, 0);
  for (bool up : {true, false}) {
    HBITMAP bitmap = ArrowBitmap(up, size);
    ImageList_Add(images, bitmap, nullptr);
    DeleteObject(bitmap);
  }
  return images;
}

void SetHeaderArrow(HWND list, int column, TSortState state)
{
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  HDITEMW item{};
  item.mask = HDI_FORMAT;
  if (!SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item)))
    return;
  if (state == SortNone) {
    item.fmt &= ~(HDF_IMAGE | HDF_BITMAP_ON_RIGHT);
  } else {
    item.mask |= HDI_IMAGE;
    item.fmt |= HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
    item.iImage = state == SortAscending ? 0 : 1;
  }
  SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
}

int LocaleCompare(const std::string &a, const std::string &b)
{
  std::wstring wa = WideOf(a), wb = WideOf(b);
  int r = CompareStringW(LOCALE_USER_DEFAULT, 0, wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                         static_cast<int>(wb.size()));
  return r == CSTR_LESS_THAN ? -1 : (r == CSTR_GREATER_THAN ? 1 : 0);
}

bool PutOnClipboard(HWND owner, const std::string &text)
{
  std::wstring wide = WideOf(text);
  size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory)
    return false;
  void *p = GlobalLock(memory);
  memcpy(p, wide.c_str(), bytes);
  GlobalUnlock(memory);
  // Another program (a clipboard viewer, a manager) may hold the clipboard
  // open for a moment: try again for a while before giving up.
  bool open = false;
  for (int attempt = 0; attempt < 50 && !(open = OpenClipboard(owner) != FALSE); ++attempt)
    Sleep(10);
  if (!open) {
    GlobalFree(memory);
    return false;
  }
  EmptyClipboard();
  bool ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  CloseClipboard();
  if (!ok)
    GlobalFree(memory);
  return ok;
}
