// The Options dialog's rules, kept apart from the dialog itself so they hold
// the same on every platform. The dialog has one field per row of the options
// table, in the table's order: a check box for a flag, an entry for a number
// or a text, a drop-down list for a choice, an editable one for a list (its
// entries read again each time it drops down).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/types.h"
#include "settings/options.h"

// Dialog 102 is built at run time from the table: its control ids are these
// plus the option's row (the label of row i is kOptionsLabelId + i).
enum : int {
  kOptionsFieldId = 900,
  kOptionsLabelId = 950,
};

// What field i shows when the dialog opens: the value's text into text, and
// the state of a check box (0 or 1) or the position in a list of choices.
int32_t OptionsFieldState(int i, char* text, size_t size);

// The text Ok hands over for a check box or a list: "1"/"0", or the name of
// the chosen entry ("" when none is chosen).
const char* OptionsStateText(int i, int32_t state);

// Ok: texts[i] is field i's text. Every field is read before any option is
// set: when one does not read, a box owned by owner names its label and what
// it takes, nothing changes and the result is that field's row (the dialog
// stays open on it). So too when the serial port's rows do not go together
// or would change during a transfer. Otherwise every option takes its
// field's value, which the core reads from then on (a serial link whose
// settings changed is opened again), and the result is -1.
int OptionsStoreFields(WindowHandle owner, const char* const* texts);

// The entries of an editable list's field i now (the serial ports found),
// into list; returns how many (0 for a field of another kind).
int OptionsFieldEntries(int i, char (*list)[kOptionEntryMax], int max);
