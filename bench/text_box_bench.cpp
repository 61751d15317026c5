// The window-thread steps of taking a 10 MB clipboard text, each timed on its own (offscreen):
// the conversions between the model's GBK and Qt's text, the text box load and the selection.
// A plain program that prints figures: text_box_bench [megabytes].
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QThread>
#include <thread>
#include <QTextCursor>
#include <cstdio>
#include <cstdlib>

#include "ui/qt/QtText.h"

namespace {

template <typename F>
void Time(const char* what, F&& step) {
  QElapsedTimer timer;
  timer.start();
  step();
  std::printf("%-44s %7lld ms\n", what, static_cast<long long>(timer.elapsed()));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 10;
  const QString line = QString::fromUtf8("春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。床前明月光，疑是地上霜。\n");
  QString clip;
  while (clip.toUtf8().size() < megabytes * 1024 * 1024 / 16) clip += line;
  for (int i = 0; i < 4; ++i) clip += clip;
  std::printf("%ld MB of UTF-8 (%lld characters)\n", megabytes, static_cast<long long>(clip.size()));

  velarn::Text gbk;
  Time("FromQString (QString -> GBK)", [&] { gbk = velarn::FromQString(clip); });
  QString shown;
  Time("ToQString (GBK -> QString)", [&] { shown = velarn::ToQString(gbk); });
  QPlainTextEdit box;
  box.resize(600, 400);
  box.show();
  Time("setPlainText", [&] { box.setPlainText(shown); });
  QTextDocument* built = nullptr;
  Time("a document built on another thread", [&] {
    std::thread worker([&] {
      auto doc = std::make_unique<QTextDocument>();
      doc->setUndoRedoEnabled(false);
      doc->setPlainText(shown);
      doc->moveToThread(app.thread());
      built = doc.release();
    });
    worker.join();
  });
  Time("  ... then shown by the text box", [&] {
    built->setParent(&box);
    built->setDocumentLayout(new QPlainTextDocumentLayout(built));
    built->setDefaultFont(box.font());
    box.setDocument(built);
    box.repaint();
  });
  Time("first paint after the load", [&] { box.repaint(); });
  Time("TextBoxPosition at the text's middle", [&] {
    (void)velarn::TextBoxPosition(gbk, static_cast<std::int64_t>(gbk.size() / 2));
  });
  Time("select a chunk at the middle", [&] {
    QTextCursor cursor = box.textCursor();
    cursor.setPosition(static_cast<int>(shown.size() / 2));
    cursor.setPosition(static_cast<int>(shown.size() / 2 + 20), QTextCursor::KeepAnchor);
    box.setTextCursor(cursor);
    box.ensureCursorVisible();
    box.repaint();
  });
  Time("toPlainText", [&] { shown = box.toPlainText(); });
  Time("one key typed (insertText)", [&] {
    box.textCursor().insertText(QStringLiteral("x"));
    box.repaint();
  });
  return 0;
}
