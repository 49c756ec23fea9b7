// The browsing, merge-list and merge commands of Form1.

#include "mainwindow/Form1.h"

namespace quillory::mainwindow {

void Form1::setUpBrowseMerge() {}

void Form1::Command10_Click() {}

void Form1::Command11_Click() {}

void Form1::Command14_Click() {}

void Form1::Command15_Click() {}

void Form1::Command16_Click() {}

void Form1::Command17_Click() {}

void Form1::Command18_Click() {}

void Form1::Command20_Click() {}

void Form1::ListView1_ItemClick() {}

void Form1::ListView2_ItemClick() {}

void Form1::ListView3_DblClick() {}

void Form1::ListView4_DblClick() {}

} // namespace quillory::mainwindow
