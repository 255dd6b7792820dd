#pragma once
// The one sequence container: slots of shared objects, a null slot being a missing
// value. Access outside 0..size()-1 is an error.

#include <memory>
#include <string>
#include <vector>

#include "objects/Object.h"

class Vector;
using VectorPtr = std::shared_ptr<Vector>;

class Vector : public Object {
public:
    explicit Vector(int capacity = 10, int growthFactor = 2);

    void add(ObjectPtr object);
    int size() const { return count; }
    int getCapacity() const { return capacity; }
    const ObjectPtr& elementAt(int index) const;
    // Replaces the element; index size() is out of range (set never appends).
    void set(int index, ObjectPtr object);
    // The value of a CInteger / CDouble element; 0 for a null slot.
    int32_t getInt(int index) const;
    double getDouble(int index) const;
    void setSize(int newSize);
    void ensureCapacity(int minimum);
    // First element equal by Object::compare, or -1.
    int indexOf(const Object* object) const;

    static VectorPtr range(int from, int to);
    static VectorPtr repeat(const ObjectPtr& object, int n);

    // " | " then each element's text fitted to 12 characters and " | ".
    std::string toString() const override;
    // Each element's text followed by "; ".
    std::string toLine() const;
    ObjectPtr clone() const override;
    VectorPtr cloneVector() const;

private:
    std::vector<ObjectPtr> items;
    int count = 0;
    int capacity;
    int growthFactor;
};

// A view over objects that others hold; with shared ownership it differs from
// Vector only by name.
class Vector2 : public Vector {
public:
    using Vector::Vector;
};
