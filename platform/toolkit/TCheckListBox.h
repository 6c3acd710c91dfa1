// The toolkit's check list box: items with a tick each and a header flag
// each. A header item is a caption: it shows no check box and the user
// cannot tick it, though code may. OnClickCheck fires when the user ticks or
// unticks an item (and when the shared list routines say so).
#pragma once

#include <QListWidget>

#include <functional>
#include <string>

class TCheckListBox : public QListWidget {
public:
    explicit TCheckListBox(QWidget *Parent = nullptr);

    int Count() const { return count(); }
    int AddItem(const std::string &Text); // index of the new item
    void Clear() { clear(); }
    std::string ItemText(int Index) const;

    bool Checked(int Index) const;
    void SetChecked(int Index, bool AValue);
    bool Header(int Index) const;
    void SetHeader(int Index, bool AValue);
    bool Selected(int Index) const;
    void SetSelected(int Index, bool AValue);
    void SetMultiSelect(bool AValue);

    std::function<void(TCheckListBox &Sender)> OnClickCheck;

private:
    bool FUpdating = false;
};
