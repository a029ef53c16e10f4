#pragma once

class VXKeyPressTableView;

// The keys a key-press table hands to its owner. Every operation has a
// default that does nothing.
class VXKeyPressTableViewDelegate {
public:
    virtual ~VXKeyPressTableViewDelegate() = default;
    // Delete or Backspace.
    virtual void deleteSelectionFromTableView(VXKeyPressTableView* /*view*/) { }
    // Ctrl+Up and Ctrl+Down.
    virtual void didClickCommondUpKeys(VXKeyPressTableView* /*view*/) { }
    virtual void didClickCommondDownKeys(VXKeyPressTableView* /*view*/) { }
    // Return: true when the owner handled it and no editor is to open.
    virtual bool preventEnterEditingTableView(VXKeyPressTableView* /*view*/) { return false; }
};
