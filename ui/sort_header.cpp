#include "sort_header.h"

#include <QAbstractItemModel>
#include <QPainter>

namespace {
// Gap between the caption and the arrow, and the header's own text margin.
constexpr int kArrowGap = 6;
}  // namespace

TSortHeader::TSortHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
{
  setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setSectionsClickable(true);
  setHighlightSections(false);
  setSortIndicatorShown(false);
}

void TSortHeader::SetSectionArrow(int section, const QPixmap &arrow)
{
  if (section < 0)
    return;
  if (section >= m_arrows.size())
    m_arrows.resize(section + 1);
  m_arrows[section] = arrow;
  updateSection(section);
}

QPixmap TSortHeader::SectionArrow(int section) const
{
  return section >= 0 && section < m_arrows.size() ? m_arrows[section] : QPixmap();
}

QRect TSortHeader::ArrowRect(int section) const
{
  QRect sect(sectionViewportPosition(section), 0, sectionSize(section), height());
  return ArrowRectIn(sect, section);
}

QRect TSortHeader::ArrowRectIn(const QRect &section_rect, int logicalIndex) const
{
  QPixmap arrow = SectionArrow(logicalIndex);
  if (arrow.isNull() || !model())
    return QRect();
  QString caption = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
  int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
  int x = section_rect.left() + margin + fontMetrics().horizontalAdvance(caption) + kArrowGap;
  int y = section_rect.top() + (section_rect.height() - arrow.height()) / 2;
  return QRect(QPoint(x, y), arrow.size());
}

void TSortHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
  QHeaderView::paintSection(painter, rect, logicalIndex);
  QRect where = ArrowRectIn(rect, logicalIndex);
  if (where.isEmpty())
    return;
  painter->save();
  painter->setClipRect(rect);
  painter->drawPixmap(where.topLeft(), SectionArrow(logicalIndex));
  painter->restore();
}
