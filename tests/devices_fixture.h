/* Printer queues and device-class instances planted for the printer and
 * device registration tests of both families: the product's under names of
 * the user's choosing and in other capitals, beside a sibling model's, the
 * maker's other printer's and another maker's. */
#ifndef QUENMAR_DEVICES_FIXTURE_H
#define QUENMAR_DEVICES_FIXTURE_H

#include "harness.h"
#include "plant_registry.h"

static const char QueuesKey[] = "System\\CurrentControlSet\\Control\\Print\\Printers";

struct QueueSpec {
    const char *name, *driver;
    bool product;
};

static const QueueSpec Queues[] = {
    {"Office MFP", "Quenmar T58", true},        {"Reception MFP", "QUENMAR t58", true},
    {"Quenmar T62", "Quenmar T62", false},      {"Quenmar LX200", "Quenmar LX200 Series", false},
    {"Acme Laser 5", "Acme Laser 5", false},
};

/* One subkey of a device-class or enumeration key, found (or not) by the
 * value it holds. */
struct InstanceSpec {
    const char *parent, *name, *valueName, *data;
    bool product;
};

/* Plants every queue below root\tree, each with a subkey of its own;
 * without product queues only the others. */
inline void PlantQueues(RegistryPlanter &planter, HKEY root, const std::string &tree, bool withProduct = true)
{
    for (const QueueSpec &queue : Queues) {
        if (!withProduct && queue.product)
            continue;
        std::string key = tree + "\\" + queue.name;
        planter.Value(root, key, "Printer Driver", queue.driver);
        planter.Value(root, key + "\\PrinterDriverData", "Resolution", "600");
    }
}

/* Expects the product's queues below root\tree to be absent (or present) and
 * every other queue present. */
inline void ExpectQueues(HKEY root, const std::string &tree, bool productAbsent)
{
    for (const QueueSpec &queue : Queues)
        EXPECT_EQ(queue.product && productAbsent, !PlantedKeyExists(root, tree + "\\" + queue.name))
            << KeyText(root, tree + "\\" + queue.name);
}

template <size_t N> void PlantInstances(RegistryPlanter &planter, const InstanceSpec (&instances)[N])
{
    for (const InstanceSpec &instance : instances)
        planter.Value(HKEY_LOCAL_MACHINE, std::string(instance.parent) + "\\" + instance.name, instance.valueName,
                      instance.data);
}

/* Expects the product's instances gone (or present) and every other present. */
template <size_t N> void ExpectInstances(const InstanceSpec (&instances)[N], bool productGone)
{
    for (const InstanceSpec &instance : instances) {
        std::string key = std::string(instance.parent) + "\\" + instance.name;
        EXPECT_EQ(instance.product && productGone, !PlantedKeyExists(HKEY_LOCAL_MACHINE, key))
            << key << " " << instance.valueName << "=" << instance.data;
    }
}

#endif
