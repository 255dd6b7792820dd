#include <gtest/gtest.h>

#include "core/Utils.h"
#include "objects/Values.h"
#include "objects/Vector.h"

namespace {

ObjectPtr integer(int v) { return std::make_shared<CInteger>(v); }
ObjectPtr text(const char* v) { return std::make_shared<CString>(v); }

class VectorTest : public ::testing::Test {
protected:
    Vector v{10, 2};

    void fill(int n)
    {
        for (int i = 0; i < n; ++i)
            v.add(integer(i));
    }
};

TEST_F(VectorTest, GrowsByItsFactorKeepingOrderAndIdentity)
{
    fill(10);
    const Object* first = v.elementAt(0).get();
    EXPECT_EQ(v.getCapacity(), 10);
    v.add(integer(10));
    EXPECT_EQ(v.getCapacity(), 20);
    for (int i = 11; i < 21; ++i)
        v.add(integer(i));
    EXPECT_EQ(v.getCapacity(), 40);
    EXPECT_EQ(v.elementAt(0).get(), first);
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(v.getInt(i), i);
}

TEST_F(VectorTest, EmptyCopiesStillGrow)
{
    Vector empty(0, 2);
    empty.add(integer(1));
    EXPECT_EQ(empty.size(), 1);
    auto copy = Vector(10, 2).cloneVector();
    EXPECT_EQ(copy->getCapacity(), 0);
    copy->add(integer(2));
    copy->add(integer(3));
    EXPECT_EQ(copy->getInt(1), 3);
}

TEST_F(VectorTest, IndicesOutsideTheElementsAreRejected)
{
    fill(3);
    try {
        v.elementAt(5);
        FAIL();
    } catch (const SystemException& e) {
        EXPECT_EQ(e.place, "Vector.elementAt(int)");
        EXPECT_EQ(e.message, "Индекс 5 за пределами вектора: [0,3]");
    }
    EXPECT_THROW(v.elementAt(-1), SystemException);
    try {
        v.set(3, integer(9));
        FAIL();
    } catch (const SystemException& e) {
        EXPECT_EQ(e.place, "Vector.set(int, Object*)");
        EXPECT_EQ(e.message, "Индекс 3 за пределами вектора: [0,3]");
    }
    EXPECT_EQ(v.size(), 3);
}

TEST_F(VectorTest, SetReleasesOnlyWhatItReplaces)
{
    auto held = integer(1);
    std::weak_ptr<Object> watch = held;
    v.add(held);
    held.reset();
    v.set(0, v.elementAt(0));
    EXPECT_FALSE(watch.expired()) << "storing the object a slot already holds must keep it";
    v.set(0, integer(2));
    EXPECT_TRUE(watch.expired());
}

TEST_F(VectorTest, SetSizeGrowsWithNullsAndDropsTail)
{
    fill(5);
    std::weak_ptr<Object> third = v.elementAt(3);
    v.setSize(2);
    EXPECT_TRUE(third.expired());
    v.setSize(5);
    EXPECT_EQ(v.elementAt(3), nullptr);
    EXPECT_EQ(v.getInt(3), 0);
    EXPECT_EQ(v.getDouble(4), 0.0);
}

TEST_F(VectorTest, IndexOfComparesByValue)
{
    v.add(text("a"));
    v.add(text("B"));
    CString b("b");
    EXPECT_EQ(v.indexOf(&b), 1);
    v.add(nullptr);
    EXPECT_EQ(v.indexOf(nullptr), 2);
    Vector mixed;
    mixed.add(integer(1));
    mixed.add(text("b"));
    EXPECT_THROW(mixed.indexOf(&b), SystemException);
}

TEST_F(VectorTest, RangeAndRepeat)
{
    EXPECT_EQ(Vector::range(3, 1)->size(), 0);
    auto one = Vector::range(0, 0);
    ASSERT_EQ(one->size(), 1);
    EXPECT_EQ(one->getInt(0), 0);
    EXPECT_EQ(Vector::range(2, 4)->toLine(), "2; 3; 4; ");
    auto nulls = Vector::repeat(nullptr, 4);
    EXPECT_EQ(nulls->size(), 4);
    EXPECT_EQ(nulls->elementAt(3), nullptr);
    EXPECT_EQ(Vector::repeat(nullptr, -1)->size(), 0);
}

TEST_F(VectorTest, TableRowText)
{
    EXPECT_EQ(v.toString(), " | ");
    v.add(integer(0));
    v.add(text("abc"));
    v.add(nullptr);
    v.add(text("fifteen chars!!"));
    EXPECT_EQ(v.toString(), " |              | abc          | null         | fifteen char | ");
}

TEST_F(VectorTest, ListText)
{
    EXPECT_EQ(v.toLine(), "");
    v.add(integer(1));
    v.add(std::make_shared<CDouble>(2.0));
    EXPECT_EQ(v.toLine(), "1; 2.00; ");
}

TEST_F(VectorTest, CloneOfAViewIsAnIndependentOwningVector)
{
    auto owned = integer(7);
    Vector2 view;
    view.add(owned);
    view.add(nullptr);
    auto copy = view.cloneVector();
    EXPECT_NE(copy->elementAt(0), owned);
    EXPECT_EQ(copy->getInt(0), 7);
    EXPECT_EQ(copy->elementAt(1), nullptr);
    EXPECT_EQ(copy->getCapacity(), 2);
    EXPECT_EQ(static_cast<CInteger&>(*owned).getValue(), 7);
}

TEST_F(VectorTest, TypedReadsRejectOtherValues)
{
    v.add(text("x"));
    EXPECT_THROW(v.getInt(0), SystemException);
    EXPECT_THROW(v.getDouble(0), SystemException);
}

}  // namespace
