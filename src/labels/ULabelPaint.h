#pragma once
// Label sheets drawn on a paged device (a printer or a PDF writer) with Qt's painting, without
// windows: the layout's own paper and orientation, each label's lines at its place in a font
// size at which they fit unwrapped. Used by the desktop program and by tellmark-lookup.
#include <QByteArray>
#include <QFont>
#include <QPageSize>
#include <string>
#include <vector>

#include "labels/ULabelLayout.h"

class QPagedPaintDevice;

// The layout's paper: the standard size of that name and size (Letter, A4, Envelope #10),
// else a custom size of the layout's width and height.
QPageSize LabelPageSize(const TLabelLayout& l);
// Paper, orientation and no margins on a device, before painting begins.
void ApplyLabelPage(QPagedPaintDevice& device, const TLabelLayout& l);

// The font of QSL labels: monospaced, so that the contact rows stand in columns.
QFont QslLabelFont(const TLabelLayout& l);

// Draws labels (lines in UTF-8) at their places, page after page, on a device set up by
// ApplyLabelPage; outlines of the labels when outlines is set. Each label is set at the largest
// size from the font's down to kMinLabelPointSize at which its lines fit the printable area
// unwrapped; what does not fit even then is cut at the area. Returns the number of pages, 0 when
// painting could not begin.
int PaintLabelSheets(QPagedPaintDevice& device, const TLabelLayout& l,
                     const std::vector<std::vector<std::string>>& labels, const QFont& font,
                     bool outlines = false);

// The labels as a PDF document (title in its information); empty when it cannot be made.
QByteArray LabelSheetsPdf(const TLabelLayout& l,
                          const std::vector<std::vector<std::string>>& labels, const QFont& font,
                          const QString& title);
