#pragma once
// Placing windows on the screen.
class QSize;
class QWidget;

// Moves a window so that its frame is centred on the available area of its screen.
void CentreOnScreen(QWidget* w);

// Keeps a window's frame inside the available area of its screen: made smaller where it is
// larger, then moved in.
void KeepOnScreen(QWidget* w);

// Resizes a window to the size wanted, at most the available area of its screen less the window
// manager's frame (estimated from the style's title bar until the window has one).
void SizeToScreen(QWidget* w, const QSize& wanted);
