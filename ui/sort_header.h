// Header of the device list view that shows a 16 x 16 sort arrow at the
// right of the sorted column's caption.
#pragma once

#include <QHeaderView>
#include <QPixmap>
#include <QVector>

class TSortHeader : public QHeaderView {
  Q_OBJECT

 public:
  explicit TSortHeader(QWidget *parent = nullptr);

  // Shows arrow beside the caption of section; a null pixmap removes it.
  void SetSectionArrow(int section, const QPixmap &arrow);
  // The arrow currently shown by section (null when none).
  QPixmap SectionArrow(int section) const;
  // Where the arrow of section is drawn, in header coordinates; an empty
  // rectangle when the section shows none.
  QRect ArrowRect(int section) const;

 protected:
  void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

 private:
  QRect ArrowRectIn(const QRect &section_rect, int logicalIndex) const;

  QVector<QPixmap> m_arrows;
};
