#pragma once
// Ordered named values, looked up by name without regard to letter case.

#include <memory>
#include <string>

#include "objects/Values.h"
#include "objects/Vector.h"

class DataPack;
using DataPackPtr = std::shared_ptr<DataPack>;

class DataPack : public Object {
public:
    DataPack();

    int size() const { return names->size(); }
    // Adds the pair, or replaces the value of an equal name (keeping the name's first spelling).
    void put(const CString& name, ObjectPtr value);
    int getIndex(const CString& name) const;  // error when absent
    int indexOf(const CString& name) const;   // -1 when absent
    const ObjectPtr& get(const CString& name) const;
    const ObjectPtr& get(int index) const;
    const ObjectPtr& find(const CString& name) const;  // null when absent
    // 0 for a null value; error when the name is absent.
    int32_t getInt(const CString& name) const;
    // The empty text for a null value; error when the name is absent.
    CString getString(const CString& name) const;
    CString getName(int index) const;

    std::string toString() const override;
    ObjectPtr clone() const override;

private:
    VectorPtr names;
    VectorPtr values;
};
