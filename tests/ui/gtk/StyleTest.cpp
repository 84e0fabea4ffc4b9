#include "gtk/CVWStyle.h"
#include "gtk/GtkResizableLabel.h"
#include "gtk/WidgetRef.h"

#include "GuiEnvironment.h"
#include "LogCapture.h"
#include "MainLoop.h"
#include "Screenshot.h"

namespace {

class StyleTest : public GuiTest {
protected:
  void TearDown() override {
    if (window != nullptr)
      gtk_widget_destroy(window);
  }
  GtkWidget* window = nullptr;
};

// Pixels of exactly `colour` (0xRRGGBB) in `picture`.
int count_pixels(GdkPixbuf* picture, guint32 colour) {
  const int channels = gdk_pixbuf_get_n_channels(picture);
  const int stride = gdk_pixbuf_get_rowstride(picture);
  const guchar* pixels = gdk_pixbuf_get_pixels(picture);
  int count = 0;
  for (int y = 0; y < gdk_pixbuf_get_height(picture); ++y) {
    for (int x = 0; x < gdk_pixbuf_get_width(picture); ++x) {
      const guchar* p = pixels + y * stride + x * channels;
      if ((guint32(p[0]) << 16 | guint32(p[1]) << 8 | p[2]) == colour)
        ++count;
    }
  }
  return count;
}

} // namespace

// The default theme draws insensitive text twice, the second time in white one pixel down and
// to the right; with the tweak it is drawn once, flat.
TEST_F(StyleTest, InsensitiveTextIsDrawnFlatOnceTheTweakIsInstalled) {
  window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* box = gtk_vbox_new(FALSE, 4);
  gtk_container_add(GTK_CONTAINER(window), box);
  GtkWidget* label = gtk_label_new("Insensitive label");
  GtkWidget* button = gtk_button_new_with_label("Insensitive button");
  gtk_container_add(GTK_CONTAINER(box), label);
  gtk_container_add(GTK_CONTAINER(box), button);
  gtk_widget_set_sensitive(box, FALSE);
  gtk_widget_show_all(window);
  const guint32 white = 0xffffff;
  EXPECT_GT(count_pixels(picture_of(label).get(), white), 20);

  gtk::install_style_tweaks(window);
  gtk_widget_queue_draw(window);
  EXPECT_EQ(count_pixels(picture_of(label).get(), white), 0);
  EXPECT_EQ(count_pixels(picture_of(gtk_bin_get_child(GTK_BIN(button))).get(), white), 0);
  // The text is still there, in the insensitive colour.
  GdkColor text = label->style->fg[GTK_STATE_INSENSITIVE];
  EXPECT_GT(count_pixels(picture_of(label).get(), guint32(text.red >> 8) << 16 |
                                                      guint32(text.green >> 8) << 8 |
                                                      guint32(text.blue >> 8)),
            20);
}

TEST_F(StyleTest, DrawingWithoutStyleOrWindowOnlyWarns) {
  window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(window);
  PangoLayout* layout = gtk_widget_create_pango_layout(window, "text");
  GLogCapture warnings;
  gtk::draw_layout(nullptr, window->window, GTK_STATE_NORMAL, FALSE, nullptr, window, nullptr, 0, 0,
                   layout);
  gtk::draw_layout(window->style, nullptr, GTK_STATE_NORMAL, FALSE, nullptr, window, nullptr, 0, 0,
                   layout);
  g_object_unref(layout);
  ASSERT_EQ(warnings.messages().size(), 2u);
  EXPECT_NE(warnings.messages()[0].find("GTK_IS_STYLE(style)"), std::string::npos);
  EXPECT_NE(warnings.messages()[1].find("window != NULL"), std::string::npos);
}

TEST_F(StyleTest, MenusAreNamedForTheResourceFile) {
  // A combo box shown as a list has no menu to name; the program's resource file must never
  // make one so.
  gtk_rc_parse_string("style \"as-list\" { GtkComboBox::appears-as-list = 1 }\n"
                      "widget \"*.as-list\" style \"as-list\"\n");
  window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(window, "WipeUI");
  GtkWidget* box = gtk_vbox_new(FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  GtkWidget* combo = gtk_combo_box_new_text();
  GtkWidget* list = gtk_combo_box_new_text();
  gtk_widget_set_name(list, "as-list");
  gtk_container_add(GTK_CONTAINER(box), combo);
  gtk_container_add(GTK_CONTAINER(box), list);
  gtk_widget_show_all(window);

  LogCapture log;
  gtk::set_combo_popup_name(GTK_COMBO_BOX(combo));
  ASSERT_NE(gtk::attached_menu(combo), nullptr);
  EXPECT_STREQ(gtk_widget_get_name(gtk::attached_menu(combo)), "cvw-combobox-popup-menu");
  EXPECT_EQ(log.text(), "");
  gtk::set_combo_popup_name(GTK_COMBO_BOX(list));
  EXPECT_EQ(log.text(), "CVWStyle.cpp(46)\n");
  EXPECT_EQ(gtk::attached_menu(list), nullptr);

  gtk::WidgetRef menu(gtk_menu_new());
  gtk::set_menu_name(menu.get());
  EXPECT_STREQ(gtk_widget_get_name(menu.get()), "cvw-menu");
}

TEST_F(StyleTest, ResizableLabelWrapsToTheWidthItIsGiven) {
  GtkWidget* shortLabel = gtk_resizable_label_new("Short", 500);
  const int natural = GTK_RESIZABLE_LABEL(shortLabel)->width;
  EXPECT_GT(natural, 10);
  EXPECT_LT(natural, 100);
  GtkRequisition request;
  gtk_widget_size_request(shortLabel, &request);
  EXPECT_EQ(request.width, natural);
  g_object_ref_sink(shortLabel);
  g_object_unref(shortLabel);

  std::string text;
  for (int i = 0; i < 40; ++i)
    text += "word" + std::to_string(i) + " ";
  GtkWidget* label = gtk_resizable_label_new(text.c_str(), 120);
  EXPECT_EQ(GTK_RESIZABLE_LABEL(label)->width, 120);
  window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_container_add(GTK_CONTAINER(window), label);
  gtk_widget_show_all(window);
  gtk_resizable_label_set_width(GTK_RESIZABLE_LABEL(label), 100);
  gtk_window_resize(GTK_WINDOW(window), 300, 10);
  GtkWidget* inner = GTK_WIDGET(GTK_RESIZABLE_LABEL(label)->label);
  EXPECT_TRUE(run_loop(
      [&] {
        return label->allocation.width == 300 && inner->allocation.width == 300 &&
               label->allocation.height >= inner->requisition.height;
      },
      5 * G_USEC_PER_SEC));
  // The text wraps to the 300 pixels it is given and the height follows the lines.
  EXPECT_EQ(label->allocation.width, 300);
  EXPECT_EQ(inner->allocation.width, 300);
  EXPECT_GE(label->allocation.height, inner->requisition.height);
  EXPECT_GT(inner->requisition.height, 5 * 14);
}
