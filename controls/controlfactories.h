#pragma once

#include "resources/dialogtemplate.h"

class CDialogBuilder;
class CExtentListBox;
class QWidget;

// Factories that put this folder's classes in place of template controls
// (CDialogBuilder::SetFactory).

// A CImageButton with the template's text and default-button style.
QWidget* CreateImageButton(const CControlTemplate& control, QWidget* parent);
// Gives a list box (or a class derived from it) the template's selection, sorting and
// scroll-bar styles.
void ConfigureExtentListBox(CExtentListBox& list, const CControlTemplate& control);
// A CExtentListBox with the template's selection, sorting and scroll-bar styles.
QWidget* CreateExtentListBox(const CControlTemplate& control, QWidget* parent);
// Registers CreateImageButton for every owner-drawn push button of the builder's
// template, and CreateExtentListBox for every list box whose id is in ids (null-ended
// array may be null).
void UseCommonControls(CDialogBuilder& builder, const int* listBoxIds = nullptr);
