// The Qt side of the four lists: the adapter passes Qt's model checks through every change the
// procedures make, and the view raises the list's events as the list widget did.

#include "mainwindow/ListModelAdapter.h"
#include "mainwindow/ListView.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using quillory::lists::ListModel;
using quillory::mainwindow::ListModelAdapter;
using quillory::mainwindow::ListView;

namespace {

QStringList shownTexts(const QAbstractItemModel& model, int column = 0) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) {
        texts << model.index(row, column).data().toString();
    }
    return texts;
}

QPoint checkBoxCentre(ListView& view, int row) {
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.rect = view.visualRect(view.model()->index(row, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    return view.style()
        ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &view)
        .center();
}

} // namespace

class Form1ListsTest : public QObject {
    Q_OBJECT

private slots:
    void adapterStaysConsistentThroughEveryListOperation() {
        ListModel list;
        ListModelAdapter adapter(list, {true, {}});
        QAbstractItemModelTester tester(&adapter,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.addColumn("Excel File", 3100);
        list.addColumn("Sheets be Merged", 1900);
        list.add("/b.xlsx");
        list.add("/a.xlsx", 1);
        list.add("/c.xlsx");
        list.add("/mid.xlsx", 3);
        list.setSubItem1(2, "Sheet2");
        list.setChecked(2, true);
        QCOMPARE(shownTexts(adapter), (QStringList{"/a.xlsx", "/b.xlsx", "/mid.xlsx", "/c.xlsx"}));
        QCOMPARE(shownTexts(adapter, 1), (QStringList{"", "Sheet2", "", ""}));
        QCOMPARE(adapter.index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(adapter.headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("Sheets be Merged"));

        list.remove(1);
        list.remove(3);
        QCOMPARE(shownTexts(adapter), (QStringList{"/b.xlsx", "/mid.xlsx"}));
        QVERIFY(adapter.setData(adapter.index(1, 0), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(list.checked(2));
        QVERIFY(!adapter.setData(adapter.index(1, 1), Qt::Checked, Qt::CheckStateRole));
        list.clear();
        QCOMPARE(adapter.rowCount(), 0);
        list.add("again");
        QCOMPARE(shownTexts(adapter), QStringList{"again"});
    }

    void viewRaisesItemClickButNotForACheckBoxAndDoubleClickAnywhere() {
        ListModel list;
        ListModelAdapter adapter(list, {true, {}});
        list.addColumn("WorkBooks", 1900);
        list.add("a.xlsx");
        list.add("b.xlsx");
        ListView view;
        view.bind(&adapter);
        view.resize(200, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy clicks(&view, &ListView::listItemClicked);
        QSignalSpy doubleClicks(&view, &ListView::listDoubleClicked);

        const QPoint secondRow = view.visualRect(adapter.index(1, 0)).center() + QPoint(30, 0);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, secondRow);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(list.selectedPosition(), 2); // the selection reached the model first

        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, checkBoxCentre(view, 0));
        QVERIFY(list.checked(1));
        QCOMPARE(clicks.count(), 1);

        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(100, 190));
        QCOMPARE(clicks.count(), 1); // empty space is no item

        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, QPoint(100, 190));
        QCOMPARE(doubleClicks.count(), 1);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, secondRow);
        QCOMPARE(doubleClicks.count(), 2);

        // Scroll requests and column widths come from the model.
        QCOMPARE(view.columnWidth(0), 127);
        for (int i = 0; i < 50; ++i) {
            list.add("more" + std::to_string(i));
        }
        list.ensureVisible(52);
        QVERIFY(view.viewport()->rect().intersects(view.visualRect(adapter.index(51, 0))));
    }
};

QTEST_MAIN(Form1ListsTest)
#include "Form1Lists_test.moc"
