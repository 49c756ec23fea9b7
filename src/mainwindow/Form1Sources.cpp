// The source-list commands and the Settings and About commands of Form1.

#include "mainwindow/Form1.h"

namespace quillory::mainwindow {

void Form1::setUpSources() {}

void Form1::Command8_Click() {}

void Form1::Command6_Click() {}

void Form1::Command7_Click() {}

void Form1::Command5_Click() {}

void Form1::Command4_Click() {}

void Form1::RemoveAll_Click() {}

void Form1::About_Click() {}

void Form1::Settings_Click() {}

} // namespace quillory::mainwindow
