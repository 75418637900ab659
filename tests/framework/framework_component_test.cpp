// Components: ownership, free notices, loading, and the name prefix of the
// database error.
#include "db/Component.h"
#include "db/DBError.h"
#include "framework_fixture.h"

namespace fwtest {
namespace {

using namespace db;

// Records the components it is told about and frees what it points at.
class Watcher : public TComponent {
 public:
  using TComponent::TComponent;
  TComponent* watched = nullptr;
  std::vector<std::string>* removed = nullptr;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation != opRemove) return;
    if (component == watched) watched = nullptr;
    if (removed != nullptr) removed->push_back(component->Name());
  }
};

class Tracked : public TComponent {
 public:
  Tracked(TComponent* owner, std::vector<std::string>* destroyed, const char* name)
      : TComponent(owner), destroyed_(destroyed) {
    SetName(name);
  }
  ~Tracked() override { destroyed_->push_back(Name()); }

 private:
  std::vector<std::string>* destroyed_;
};

TEST(EnumerationTest, StatesAndFlagsKeepTheirNumbers) {
  const TDataSetState states[] = {dsInactive,   dsBrowse,       dsEdit,     dsInsert,   dsSetKey,
                                  dsCalcFields, dsFilter,       dsNewValue, dsOldValue, dsCurValue,
                                  dsBlockRead,  dsInternalCalc, dsOpening};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(static_cast<int>(states[i]), i);
  EXPECT_EQ(static_cast<int>(usInserted), 2);
  EXPECT_EQ(static_cast<int>(bfInserted), 3);
  EXPECT_EQ(static_cast<int>(grEOF), 2);
  EXPECT_EQ(static_cast<int>(ftLargeint), 25);
  EXPECT_EQ(static_cast<int>(ftTimeStamp), 36);
  TLocateOptions options{loPartialKey};
  EXPECT_TRUE(options.Contains(loPartialKey));
  EXPECT_FALSE(options.Contains(loCaseInsensitive));
  options.Include(loCaseInsensitive);
  options.Exclude(loPartialKey);
  EXPECT_EQ(options, TLocateOptions{loCaseInsensitive});
  EXPECT_EQ((TIndexOptions{ixPrimary} | TIndexOptions{ixUnique}).Bits(), 3u);
}

TEST(ComponentTest, OwnerFreesOwnedLastCreatedFirst) {
  std::vector<std::string> destroyed;
  {
    TComponent window;
    new Tracked(&window, &destroyed, "dbVidoru");
    new Tracked(&window, &destroyed, "dbPDV");
    auto* query = new Tracked(&window, &destroyed, "qryClientes");
    EXPECT_EQ(window.ComponentCount(), 3);
    EXPECT_EQ(window.FindComponent("DBPDV")->Name(), "dbPDV");
    EXPECT_EQ(window.FindComponent("nada"), nullptr);
    EXPECT_EQ(query->Owner(), &window);
  }
  EXPECT_EQ(destroyed, (std::vector<std::string>{"qryClientes", "dbPDV", "dbVidoru"}));
}

TEST(ComponentTest, DirectlyDestroyedComponentLeavesItsOwner) {
  std::vector<std::string> destroyed;
  TComponent window;
  auto* a = new Tracked(&window, &destroyed, "a");
  new Tracked(&window, &destroyed, "b");
  window.DestroyComponent(a);
  EXPECT_EQ(window.ComponentCount(), 1);
  EXPECT_EQ(destroyed, (std::vector<std::string>{"a"}));
  {
    auto owned_elsewhere = std::make_unique<Tracked>(nullptr, &destroyed, "c");
    EXPECT_EQ(owned_elsewhere->Owner(), nullptr);
  }
  EXPECT_EQ(destroyed, (std::vector<std::string>{"a", "c"}));
}

TEST(ComponentTest, FreeNotificationReachesHoldersInOtherTrees) {
  std::vector<std::string> removed;
  Watcher watcher;
  watcher.removed = &removed;
  {
    TComponent other;
    other.SetName("dsParametos");
    watcher.watched = &other;
    watcher.FreeNotification(&other);
  }
  EXPECT_EQ(watcher.watched, nullptr);
  EXPECT_EQ(removed, (std::vector<std::string>{"dsParametos"}));
  // After RemoveFreeNotification nothing is sent.
  removed.clear();
  {
    TComponent other;
    watcher.FreeNotification(&other);
    watcher.RemoveFreeNotification(&other);
  }
  EXPECT_TRUE(removed.empty());
}

TEST(ComponentTest, OwnerTreeHearsOfRemovals) {
  std::vector<std::string> removed;
  Watcher window;
  window.removed = &removed;
  auto* child = new TComponent(&window);
  child->SetName("tblParametos");
  window.DestroyComponent(child);
  EXPECT_EQ(removed, (std::vector<std::string>{"tblParametos"}));
}

TEST(ComponentTest, DatabaseErrorPrefixesNamedComponents) {
  TComponent named;
  named.SetName("dbPDV");
  TComponent unnamed;
  EXPECT_EQ(
      ErrorOf([&] { DatabaseError("Cannot perform this operation on an open database", &named); }),
      "dbPDV: Cannot perform this operation on an open database");
  EXPECT_EQ(ErrorOf([&] { DatabaseError("x", &unnamed); }), "x");
  EXPECT_EQ(ErrorOf([&] { DatabaseError("y"); }), "y");
  EXPECT_EQ(ComponentMessage("z", &named), "dbPDV: z");
  try {
    DatabaseError("w", &named);
  } catch (const rtl::Exception& e) {
    EXPECT_EQ(e.Message(), "dbPDV: w") << "the database error is a run-time exception";
  }
}

TEST(ComponentTest, SilentAbortIsNotShown) {
  std::vector<std::string> shown;
  SetExceptionDisplay([&](const std::exception& e) { shown.push_back(e.what()); });
  ShowException(rtl::EAbort());
  ShowException(EDatabaseError("visible"));
  SetExceptionDisplay(nullptr);
  EXPECT_EQ(shown, (std::vector<std::string>{"visible"}));
}

TEST(ComponentTest, DatasetOpensAfterLoadingWhenMarkedActive) {
  MemoryDataSet ds;
  FillCustomers(ds);
  ds.BeginLoading();
  EXPECT_TRUE(ds.Loading());
  ds.SetActive(true);
  EXPECT_FALSE(ds.Active()) << "only marked while loading";
  ds.EndLoading();
  EXPECT_FALSE(ds.Loading());
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(ds.RecordCount(), 5);
}

TEST(ComponentTest, DestroyingAnOpenDatasetDetachesEverything) {
  TComponent window;
  auto* field = new TIntegerField(&window);
  field->SetFieldName("codcli");
  TDataSource source;
  {
    MemoryDataSet ds;
    FillCustomers(ds);
    field->SetDataSet(&ds);
    source.SetDataSet(&ds);
    ds.Open();
    EXPECT_EQ(source.State(), dsBrowse);
  }
  EXPECT_EQ(field->DataSet(), nullptr);
  EXPECT_EQ(source.DataSet(), nullptr);
  EXPECT_EQ(source.State(), dsInactive);
}

}  // namespace
}  // namespace fwtest
