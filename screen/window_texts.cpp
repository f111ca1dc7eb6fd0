#include "window_texts.h"

#include "modeltable.h"
#include "vela_version.h"

std::string InitialStatusText()
{
  return "Search Result -  0 Vela(s)";
}

std::string StatusText(int count, TTextSource texts)
{
  return SearchResultText(count, texts);
}

std::string AboutProductLine(TTextSource texts)
{
  return texts(TXT_PRODUCT_NAME) + texts(TXT_PRODUCT);
}

std::string AboutVersionLine(TTextSource texts)
{
  return texts(TXT_VERSION) + VELA_VERSION_TEXT;
}

std::string ModelFileWarning()
{
  return std::string(MODEL_FILE_NAME) + " not found\n";
}
