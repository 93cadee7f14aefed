#pragma once

// A scripted WMI locator for the Device object's tests. Registered under the administrative
// locator's class identifier in a test's own class registry, it stands in for the built-in one:
// it serves exactly the objects a test describes, fails where a test asks it to, and counts what
// the Device object did with it.

#include <string>
#include <vector>

struct CFakeWmiProperty
{
    enum Kind { Text, Integer, Null, Unreadable };
    std::u16string name;
    Kind kind = Text;
    std::u16string text;
    long long number = 0;
};

struct CFakeWmiObject
{
    std::vector<CFakeWmiProperty> properties;
    bool namesFail = false; // GetNames refuses
};

struct CFakeWmiState
{
    enum Failure { None, LocatorFails, ConnectFails, QueryRefused, EnumerationFails };

    // What the next calls do
    Failure failure = None;
    size_t failAfter = 0; // EnumerationFails: objects delivered before Next reports an error
    std::vector<CFakeWmiObject> objects;

    // What the Device object did
    int locatorsCreated = 0;
    int locatorsAlive = 0;
    int connections = 0;
    int servicesAlive = 0;
    int enumeratorsAlive = 0;
    int objectsAlive = 0;
    std::u16string lastNamespace;
    std::u16string lastLanguage;
    std::u16string lastQuery;
    long lastQueryFlags = 0;
    bool lastConnectHadCredentials = false;

    void reset() { *this = CFakeWmiState(); }
};

// Exported by the fake locator library; the test finds it with dlsym.
typedef CFakeWmiState *(*FakeWmiStateFunction)();
#define FAKE_WMI_STATE_SYMBOL "fakeWmiState"
