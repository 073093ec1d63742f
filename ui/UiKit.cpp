#include "ui/UiKit.h"

CWnd* mainWindow = nullptr;
int largeFontsFlag = 0;
CFont LabelFont;

int MakeDerivedFont(CFont& font, int height, int weight, unsigned char underline,
                    unsigned char italic) {
  HGDIOBJ base = mainWindow ? reinterpret_cast<HGDIOBJ>(mainWindow->SendMessage(WM_GETFONT)) : nullptr;
  if (!base) base = GetStockObject(SYSTEM_FONT);
  LOGFONTA description = {};
  GetObjectA(base, sizeof description, &description);
  description.lfWeight = weight;
  description.lfHeight = height;
  description.lfUnderline = underline;
  description.lfItalic = italic;
  font.Attach(CreateFontIndirectA(&description));
  return 1;
}
