// The click of the toolkit's list boxes and tree views over Qt's item views.
//
// A list box's OnClick (and a tree view's OnChange) runs whenever the
// operator moves the highlight: a mouse press on another item, a drag over
// the items, the arrow keys, Home, End, Page Up and Down, a typed letter.
// A mouse click on the item already highlighted runs it as well. A change
// made in code (setCurrentRow, SetSelected) runs nothing, so that a handler
// that fills or repositions its own list does not call itself. The
// operator's input is told by the application object (TApplication).
#pragma once

#include <functional>

class QAbstractItemView;

// Makes OnClick the view's click as above; a second call replaces the first,
// an empty function removes it. The view keeps what this installs, and its
// model for good, as the item widgets do.
void InstallItemClick(QAbstractItemView &View, std::function<void()> OnClick);
