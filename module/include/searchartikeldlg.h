#pragma once
// CSearchArtikelDlg: the search of material articles with their type icon; articles of another
// master Mandant in their own colour, inactive ones in grey. The host reads the chosen ids and
// the article types side by side.
#include "searchdlg.h"

// The types of material articles; 1, 3, 5 and 6 are single pieces with a serial number.
enum EArtikelTyp : LONG {
    eArtikelTypVerbrauchsmaterial = 0,
    eArtikelTypGeraet = 1,
    eArtikelTypMaterial = 2,
    eArtikelTypFahrzeug = 3,
    eArtikelTypBekleidung = 4,
    eArtikelTypAtemschutz = 5,
    eArtikelTypFunk = 6,
};

class CSearchArtikelDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchArtikelDlg)
public:
    CSearchArtikelDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchArtikelDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;
    void CollectSelectedItem(CQvListItem* pItem) override;
    void CollectCheckedItem(CQvListItem* pItem) override;

    // The icon of an article type (-1: none).
    static int ArtikelTypIcon(long lTyp);

    // Text colour of the articles that belong to another master Mandant.
    COLORREF m_crForeign = 0xFF0000;

protected:
    DECLARE_MESSAGE_MAP()
};
