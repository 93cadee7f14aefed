#pragma once

#include "cregistrytree.h"

#include <QMap>
#include <QString>

#include <vector>

// A registry script in the registrar's notation, parsed once and applied to a registry tree to
// register or to remove what it describes:
//
//   HKCR
//   {
//       NoRemove AppID
//       {
//           '%APPID%' = s 'Inquix'
//           'Inquix.DLL' { val AppID = s '%APPID%' }
//       }
//   }
//
// - The root is HKCR or HKEY_CLASSES_ROOT (the only hive there is); several root blocks may follow
//   each other.
// - A key is a name, optionally "= s 'text'" (its default value) and a "{ ... }" block of subkeys
//   and named values "val name = s 'text'". Names are bare words or quoted; a quoted text writes a
//   quote as two. Braces and "=" stand apart from names. Only string values ("s") exist.
// - "%NAME%" in a name or text is replaced by the value given for NAME (letter case ignored); "%%"
//   is a single "%". An unknown name is an error.
// - Register: a ForceRemove key is deleted with everything below it, then written anew; every
//   other key is created or kept and its values overwritten; a Delete key is deleted.
// - Remove: every key the script names is deleted with everything below it, except NoRemove keys
//   and keys that hold a NoRemove key; in those, what the script names below is removed (named
//   values included) and the key itself stays with its default value. Missing keys are no error.
// Keywords ignore letter case.
class CRegistrarScript
{
public:
    // False with a description when the text is not a valid script.
    bool parse(const QString &text, const QMap<QString, QString> &replacements, QString *error);
    void apply(CRegistryTree &tree, bool doRegister) const;

private:
    struct Item
    {
        bool isValue = false;
        QString name;
        bool hasValue = false;
        QString value;
        bool noRemove = false;
        bool forceRemove = false;
        bool deleteKey = false;
        std::vector<Item> children;
    };

    void registerItems(CRegistryTree &tree, const QString &base, const std::vector<Item> &items) const;
    void removeItems(CRegistryTree &tree, const QString &base, const std::vector<Item> &items) const;
    static bool holdsNoRemove(const std::vector<Item> &items);

    std::vector<Item> m_items; // the contents of the root blocks, in script order
};
