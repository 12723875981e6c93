#include "core/list.h"
#include "core/mem.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A list A B C D ... whose elements are the letters.
List* letters(const char* text)
{
    List* list = nullptr;
    list_create(&list, "letters", nullptr, nullptr);
    for (const char* p = text; *p; ++p)
        list_add_tail(list)->element = reinterpret_cast<void*>(static_cast<intptr_t>(*p));
    return list;
}

std::string order(List* list)
{
    std::string s;
    for (ListNode* n = list->head; n; n = n->ln_succ)
        s += static_cast<char>(reinterpret_cast<intptr_t>(n->element));
    std::string back;
    for (ListNode* n = list->tail; n; n = n->ln_pred)
        back.insert(back.begin(), static_cast<char>(reinterpret_cast<intptr_t>(n->element)));
    EXPECT_EQ(s, back) << "links disagree";
    EXPECT_EQ(list_verify(list), LIST_OK);
    return s;
}

int g_freed = 0;
void* make_element()
{
    return new int(7);
}
void free_element(void* e)
{
    ++g_freed;
    delete static_cast<int*>(e);
}

} // namespace

TEST(List, CreateChecksCallbackPairsAndNames)
{
    List* list = reinterpret_cast<List*>(0x1);
    EXPECT_EQ(list_create(&list, "x", make_element, nullptr), LIST_ALLOC_NO_FREE);
    EXPECT_EQ(list_create(&list, "x", nullptr, free_element), LIST_FREE_NO_ALLOC);
    EXPECT_EQ(list, reinterpret_cast<List*>(0x1));  // cell untouched

    List* a = nullptr;
    List* b = nullptr;
    ASSERT_EQ(list_create(&a, nullptr, nullptr, nullptr), LIST_OK);
    ASSERT_EQ(list_create(&b, nullptr, nullptr, nullptr), LIST_OK);
    int na = -1, nb = -1;
    ASSERT_EQ(std::sscanf(a->name, "VX List #%d", &na), 1);
    ASSERT_EQ(std::sscanf(b->name, "VX List #%d", &nb), 1);
    EXPECT_EQ(nb, na + 1);

    std::string long_name(300, 'n');
    List* c = nullptr;
    list_create(&c, long_name.c_str(), nullptr, nullptr);
    EXPECT_EQ(std::string(c->name).size(), 254u);
    EXPECT_EQ(c->key, kListKey);
    list_destroy(a);
    list_destroy(b);
    list_destroy(c);
    EXPECT_STREQ(list_status_text(7), "07 - Node KEY Bad");
    EXPECT_STREQ(list_status_text(16), "16 - No list pointer");
}

TEST(List, AddRemoveKeepsHeadAndTail)
{
    List* list = letters("");
    ListNode* only = list_add_tail(list);
    EXPECT_EQ(list->head, only);
    EXPECT_EQ(list->tail, only);
    list_remove(only);
    EXPECT_EQ(list->head, nullptr);
    EXPECT_EQ(list->tail, nullptr);
    EXPECT_EQ(list_count(list), 0);
    list_destroy(list);

    list = letters("BD");
    list_add_head(list)->element = reinterpret_cast<void*>('A');
    list_insert_after(list, list_node_at(list, 1))->element = reinterpret_cast<void*>('C');
    list_insert_after(list, list->tail)->element = reinterpret_cast<void*>('E');
    EXPECT_EQ(order(list), "ABCDE");
    EXPECT_EQ(list_find(list, reinterpret_cast<void*>('D')), 3);
    EXPECT_EQ(list_find(list, reinterpret_cast<void*>('Z')), -1);
    EXPECT_EQ(list_index_of(list->tail), 4);
    EXPECT_EQ(list_node_at(list, 5), nullptr);
    list_destroy(list);
}

TEST(List, RemovedNodesAreRefusedEverywhere)
{
    List* list = letters("ABC");
    ListNode* b = list_node_at(list, 1);
    ListNode* c = list_node_at(list, 2);
    list_remove(b);
    EXPECT_EQ(order(list), "AC");
    // The node's memory is gone; a node made stale by hand stands in for it.
    ListNode stale = *c;
    stale.key = 0;
    EXPECT_EQ(node_check(&stale), 2);
    EXPECT_EQ(list_index_of(&stale), -1);
    EXPECT_EQ(list_move_up(&stale), 0);
    EXPECT_EQ(list_insert_after(list, &stale), nullptr);
    list_remove(&stale);
    EXPECT_EQ(order(list), "AC");
    EXPECT_EQ(node_check(nullptr), 1);

    List copy = *list;
    copy.key = 0;
    EXPECT_EQ(list_add_tail(&copy), nullptr);
    EXPECT_EQ(list_count(&copy), 0);
    EXPECT_EQ(list_find(&copy, nullptr), -1);
    list_destroy(list);
}

TEST(List, MovesInBothDirections)
{
    List* list = letters("ABCD");
    list_move(list, 0, 2);
    EXPECT_EQ(order(list), "BCAD");
    list_destroy(list);

    list = letters("ABCD");
    list_move(list, 3, 1);
    EXPECT_EQ(order(list), "ADBC");
    list_move(list, 0, 3);
    EXPECT_EQ(order(list), "DBCA");
    list_move(list, 3, 0);
    EXPECT_EQ(order(list), "ADBC");
    list_move(list, 1, 1);
    list_move(list, 0, 9);  // outside: unchanged
    EXPECT_EQ(order(list), "ADBC");
    list_move_to(list_node_at(list, 3), list_node_at(list, 0), list);
    EXPECT_EQ(order(list), "CADB");
    list_destroy(list);
}

TEST(List, MoveUpAndDownStopAtTheEnds)
{
    List* list = letters("ABC");
    EXPECT_EQ(list_move_up(list->head), 0);
    EXPECT_EQ(list_move_down(list->tail), 0);
    EXPECT_EQ(order(list), "ABC");
    EXPECT_EQ(list_move_up(list->tail), 1);
    EXPECT_EQ(order(list), "ACB");
    EXPECT_EQ(list_move_up(list_node_at(list, 1)), 1);
    EXPECT_EQ(order(list), "CAB");
    EXPECT_EQ(list_move_down(list->head), 1);
    EXPECT_EQ(order(list), "ACB");
    list_destroy(list);
}

TEST(List, UnlinkAndLinkAgain)
{
    List* list = letters("ABC");
    ListNode* a = list->head;
    list_unlink(a);
    EXPECT_EQ(order(list), "BC");
    EXPECT_EQ(a->key, kNodeKey);
    list_link_after(list, list->tail, a);
    EXPECT_EQ(order(list), "BCA");
    list_destroy(list);
}

TEST(List, CallbacksMakeAndFreeElements)
{
    g_freed = 0;
    List* list = nullptr;
    ASSERT_EQ(list_create(&list, "owned", make_element, free_element), LIST_OK);
    ListNode* n = list_add_tail(list);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(*static_cast<int*>(n->element), 7);
    list_add_tail(list);
    list_remove(n);
    EXPECT_EQ(g_freed, 1);
    list_destroy(list);
    EXPECT_EQ(g_freed, 2);
    EXPECT_EQ(chunk_counters().entries, 0);
}

TEST(List, VerifyFindsBrokenLinks)
{
    List* list = letters("ABC");
    ListNode* b = list_node_at(list, 1);
    ListNode* saved = b->ln_pred;
    b->ln_pred = nullptr;
    EXPECT_EQ(list_verify(list), LIST_BACKWARD_BROKEN);
    b->ln_pred = saved;
    list->head->ln_pred = list->tail;
    EXPECT_EQ(list_verify(list), LIST_HEAD_PRED);
    list->head->ln_pred = nullptr;
    EXPECT_EQ(list_verify(nullptr), LIST_NO_LIST);
    list_destroy(list);
}
