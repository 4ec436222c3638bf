#pragma once
// Placing windows on the screen.
class QWidget;

// Moves a window so that its frame is centred on the available area of its screen.
void CentreOnScreen(QWidget* w);

// Keeps a window's frame inside the available area of its screen: made smaller where it is
// larger, then moved in.
void KeepOnScreen(QWidget* w);
