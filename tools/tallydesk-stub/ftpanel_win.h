// The stand-in's reading and driving of a viewer's file-transfer panels from outside.
#pragma once

// spec "mainclass|panel": the panel's directory edit on the first line, the list's screen
// rectangle ("left top right bottom") on the second, then one line
// per list item, "name<TAB>size<TAB>type<TAB>modified<TAB>attributes<TAB>flags" (S
// selected, F focused), in UTF-8 (from the language's ANSI as the viewer shows it).
int DumpFtPanel(char *spec, const char *outPath);
// spec "mainclass|panel|control|vk[|char[|text]]": set the control's text when given, then
// post key down, the character (a number, 0 for none) and key up to it. Control 208 means
// the combo box inside the drive combo.
int FtPanelKey(char *spec);

// "class|panel|text": the label edit of that panel's list gets text, then Enter.
int FtPanelLabel(char *spec);

// "mainclass": where the keyboard focus of the viewer's file-transfer window is, as
// "panel control" (the panel 0 or 1 and the id of its child that holds the focus, the
// inner box of the drive combo counting as 208; "none" elsewhere), then the screen
// rectangles of the two panels' captions, one line each.
int FtFocus(char *spec, const char *outPath);

// "mainclass|command|panel": sends the command to the file-transfer window and, when it
// returns, has the panel painted; writes "milliseconds items" of the panel's list. The
// command is sent, not posted: it returns when its work is done.
int FtTimeCommand(char *spec, const char *outPath);
