#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class ProcessorFactory;

// One submenu of the node editor's "add" menu: its title and the type IDs it offers.
struct AddMenuSection {
    QString title;
    QStringList typeIDs;

    bool operator==(const AddMenuSection&) const = default;
};

// Where each registered type belongs in the add menu, derived from its character alone:
// generators give output and take none, effects take and give, the rest is utility.
// Types a user may not create or see are left out; empty sections are not listed.
QList<AddMenuSection> addMenuSections(const ProcessorFactory& factory);
