#pragma once
// What the main window's form needs of a toolkit window beyond its controls' texts: the
// combo boxes' lists, the suggestion for typed text, and the message boxes.
//
// The contract every toolkit keeps (on top of form_view.h's):
//  - the combo box calls change the list, its selection and the edit text only as each
//    says, and raise no event back into the form;
//  - the form hears of a combo box only this: chosen() when the user takes an entry of
//    its list (a click on an entry of the open list, Enter on the entry marked in the
//    open list, an arrow key or the wheel while the list is closed), edited() after every
//    change of the edit text by the user, left() when the focus leaves the box. Enter,
//    Tab or leaving the box with typed text never choose an entry, whatever letter case
//    the text has and whether or not it names an entry whole: typed text is only text;
//  - no list or popup opens while the user types, so a click on any control after typing
//    acts on that click.
#include "app/form_view.h"

#include <cstddef>
#include <string_view>

namespace zev1 {

class main_view : public virtual form_controls {
public:
    // Removes every entry of the list; no entry is selected and the edit text is empty.
    virtual void clear_items(std::size_t row) = 0;
    // Adds an entry at the end of the list; the selection and the edit text stay.
    virtual void append_item(std::size_t row, std::string_view text) = 0;
    // Selects entry index and shows its text in the edit, also when it was selected
    // already. An index outside the list (-1) leaves no entry selected and the edit text
    // as it is.
    virtual void set_item_index(std::size_t row, int index) = 0;
    // Marks entry index as the one the typed text suggests (-1: none, as is an index
    // outside the list): the open list shows it marked, and a list opened later opens on
    // it. It changes neither the edit text nor the selection and opens no list.
    virtual void show_suggestion(std::size_t row, int index) = 0;
    // A message box with one OK button (message_boxes.h opens it; the form does not).
    virtual void show_notice(std::string_view text) = 0;

protected:
    ~main_view() = default;
};

} // namespace zev1
