#include "labels/ULabelPaint.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>

namespace {

constexpr double kMmPerInch = 25.4;

}  // namespace

QPageSize LabelPageSize(const TLabelLayout& l) {
  const QSizeF mm(l.paperWidth, l.paperHeight);
  const QPageSize::PageSizeId id = QPageSize::id(mm, QPageSize::Millimeter, QPageSize::FuzzyMatch);
  if (id != QPageSize::Custom) {
    const QSizeF known = QPageSize::size(id, QPageSize::Millimeter);
    if (std::fabs(known.width() - mm.width()) < 0.5 &&
        std::fabs(known.height() - mm.height()) < 0.5)
      return QPageSize(id);
  }
  return QPageSize(mm, QPageSize::Millimeter, QString::fromStdString(l.paperName),
                   QPageSize::ExactMatch);
}

void ApplyLabelPage(QPagedPaintDevice& device, const TLabelLayout& l) {
  // Size and orientation in one layout: set one by one, a device may keep the other from its
  // defaults (A4 portrait).
  device.setPageLayout(QPageLayout(LabelPageSize(l),
                                   l.portrait ? QPageLayout::Portrait : QPageLayout::Landscape,
                                   QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
}

QFont QslLabelFont(const TLabelLayout& l) {
  QFont f("DejaVu Sans Mono");
  f.setStyleHint(QFont::Monospace);
  f.setPointSizeF(l.font.pointSize > 0 ? l.font.pointSize : 9);
  f.setBold(l.font.bold);
  return f;
}

int PaintLabelSheets(QPagedPaintDevice& device, const TLabelLayout& l,
                     const std::vector<std::vector<std::string>>& labels, const QFont& font,
                     bool outlines) {
  QPainter painter;
  if (!painter.begin(&device)) return 0;
  const double dpmm = device.logicalDpiX() / kMmPerInch;
  const auto px = [dpmm](const TLabelRect& r) {
    return QRectF(r.x * dpmm, r.y * dpmm, r.width * dpmm, r.height * dpmm);
  };
  const std::vector<TLabelPlace> places = PlaceLabels(l, labels.size());
  int page = 0;
  for (size_t i = 0; i < places.size(); ++i) {
    const TLabelPlace& p = places[i];
    while (page < p.page) {
      device.newPage();
      ++page;
    }
    if (outlines) {
      painter.setPen(QPen(Qt::gray, 0.2 * dpmm));
      painter.drawRoundedRect(px(p.label), 2 * dpmm, 2 * dpmm);
    }
    painter.setPen(Qt::black);
    const QRectF area = px(p.area);
    QStringList lines;
    for (const std::string& s : labels[i]) lines << QString::fromStdString(s);
    // The largest size, in half points, at which every line fits unwrapped.
    QFont sized = font;
    double size = font.pointSizeF();
    for (;; size -= 0.5) {
      sized.setPointSizeF(size);
      const QFontMetricsF fm(sized, &device);
      double wide = 0;
      for (const QString& s : lines) wide = std::max(wide, fm.horizontalAdvance(s));
      const double high = lines.isEmpty() ? 0 : fm.lineSpacing() * (lines.size() - 1) + fm.height();
      if ((wide <= area.width() && high <= area.height()) || size - 0.5 < kMinLabelPointSize) break;
    }
    painter.setFont(sized);
    const QFontMetricsF fm(sized, &device);
    double y = area.top();
    for (QString text : lines) {
      if (y + fm.height() > area.bottom() + 0.5) break;
      while (!text.isEmpty() && fm.horizontalAdvance(text) > area.width()) text.chop(1);
      painter.drawText(QPointF(area.left(), y + fm.ascent()), text);
      y += fm.lineSpacing();
    }
  }
  painter.end();
  return places.empty() ? 1 : places.back().page + 1;
}

QByteArray LabelSheetsPdf(const TLabelLayout& l,
                          const std::vector<std::vector<std::string>>& labels, const QFont& font,
                          const QString& title) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly)) return {};
  {
    QPdfWriter pdf(&buffer);
    pdf.setResolution(1200);
    pdf.setTitle(title);
    pdf.setCreator("Tellmark");
    ApplyLabelPage(pdf, l);
    if (PaintLabelSheets(pdf, l, labels, font) == 0) return {};
  }
  buffer.close();
  return bytes;
}
