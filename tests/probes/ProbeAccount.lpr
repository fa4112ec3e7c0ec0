{ A small account library written from the account library's Pascal declarations, by the classic
  Object Pascal rules (see ProbeIntf.pas for where Free Pascal departs from them): it publishes
  its registration record through the window class "corvane.zraccount.class", and its account,
  login-manager, user and error objects answer UTF-16 texts as wide strings through the hidden
  result argument and Booleans with garbage above AL. One account: "u1" / "p1" (account "A1",
  token "T1"). Everything it is given is recorded in ProbeAccount.jsonl beside it. }
library ProbeAccount;

{$mode delphi}{$H+}{$codepage UTF8}

uses
  Windows, ProbeIntf, ProbeRecord;

type
  IZRAError = interface(IUnknown)
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    procedure GetErrorText(out Result: WideString); stdcall;
  end;

  IZRAUser = interface(IUnknown)
    function Reserved3: Integer; stdcall;
    procedure GetUserInfo(out Result: WideString); stdcall;
    function Reserved5: Integer; stdcall;
    procedure GetToken(out Result: WideString); stdcall;
    procedure GetAccountId(out Result: WideString); stdcall;
    function Reserved8: Integer; stdcall;
    function Reserved9: Integer; stdcall;
    function Reserved10: Integer; stdcall;
    function Reserved11: Integer; stdcall;
    function Reserved12: Integer; stdcall;
    function Reserved13: Integer; stdcall;
    function Reserved14: Integer; stdcall;
    procedure Refresh; stdcall;
  end;

  IZRALoginManager = interface(IUnknown)
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    function IsLoggedIn: TPasBoolEAX; stdcall;
    procedure GetCurrentUser(out Result: IZRAUser); stdcall;
    function Reserved9: Integer; stdcall;
    function Reserved10: Integer; stdcall;
    function Reserved11: Integer; stdcall;
    function Reserved12: Integer; stdcall;
    procedure SetAppID(AppID: PWideChar); stdcall;
    procedure SetCurrentUser(const User: IZRAUser); stdcall;
  end;

  IZRAccount = interface(IUnknown)
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    function Reserved7: Integer; stdcall;
    function Reserved8: Integer; stdcall;
    function Reserved9: Integer; stdcall;
    procedure GetLoginManager(out Result: IZRALoginManager); stdcall;
    function Reserved11: Integer; stdcall;
    procedure InitApp(AppID, ProductKey, WebRoot: PWideChar); stdcall;
    function Reserved13: Integer; stdcall;
    function Reserved14: Integer; stdcall;
    function Reserved15: Integer; stdcall;
    function Reserved16: Integer; stdcall;
    procedure Login(LoginName, Password: PWideChar; out Error: IZRAError; out User: IZRAUser); stdcall;
    function Reserved18: Integer; stdcall;
    function Reserved19: Integer; stdcall;
    procedure CreateLoginUser(LoginInfo: PWideChar; out User: IZRAUser); stdcall;
  end;

  TError = class(TInterfacedObject, IZRAError)
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    procedure GetErrorText(out Result: WideString); stdcall;
  end;

  TUser = class(TInterfacedObject, IZRAUser)
    function Reserved3: Integer; stdcall;
    procedure GetUserInfo(out Result: WideString); stdcall;
    function Reserved5: Integer; stdcall;
    procedure GetToken(out Result: WideString); stdcall;
    procedure GetAccountId(out Result: WideString); stdcall;
    function Reserved8: Integer; stdcall;
    function Reserved9: Integer; stdcall;
    function Reserved10: Integer; stdcall;
    function Reserved11: Integer; stdcall;
    function Reserved12: Integer; stdcall;
    function Reserved13: Integer; stdcall;
    function Reserved14: Integer; stdcall;
    procedure Refresh; stdcall;
  end;

  TLoginManager = class(TInterfacedObject, IZRALoginManager)
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    function IsLoggedIn: TPasBoolEAX; stdcall;
    procedure GetCurrentUser(out Result: IZRAUser); stdcall;
    function Reserved9: Integer; stdcall;
    function Reserved10: Integer; stdcall;
    function Reserved11: Integer; stdcall;
    function Reserved12: Integer; stdcall;
    procedure SetAppID(AppID: PWideChar); stdcall;
    procedure SetCurrentUser(const User: IZRAUser); stdcall;
  end;

  TAccount = class(TInterfacedObject, IZRAccount)
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    function Reserved7: Integer; stdcall;
    function Reserved8: Integer; stdcall;
    function Reserved9: Integer; stdcall;
    procedure GetLoginManager(out Result: IZRALoginManager); stdcall;
    function Reserved11: Integer; stdcall;
    procedure InitApp(AppID, ProductKey, WebRoot: PWideChar); stdcall;
    function Reserved13: Integer; stdcall;
    function Reserved14: Integer; stdcall;
    function Reserved15: Integer; stdcall;
    function Reserved16: Integer; stdcall;
    procedure Login(LoginName, Password: PWideChar; out Error: IZRAError; out User: IZRAUser); stdcall;
    function Reserved18: Integer; stdcall;
    function Reserved19: Integer; stdcall;
    procedure CreateLoginUser(LoginInfo: PWideChar; out User: IZRAUser); stdcall;
  end;

const
  kClassName: PWideChar = 'corvane.zraccount.class';

var
  { The registration record: pointer-sized entries, 8 = initialise, 12 = finalise, 20 = the
    function that yields the account object. }
  GRecord: array[0..7] of Pointer;
  GAccount: IZRAccount;
  GManager: IZRALoginManager;
  GCurrent: IZRAUser;
  GLock: TRTLCriticalSection;

function Placeholder(const Intf: AnsiString; Slot: Integer): Integer;
begin
  J('placeholder').Str('intf', Intf).Int('slot', Slot).Put;
  Result := 0;
end;

function W(P: PWideChar): AnsiString;
begin
  if P = nil then
    Result := ''
  else
    Result := WideToUtf8(P, lstrlenW(P));
end;

function TError.Reserved3: Integer; stdcall; begin Result := Placeholder('Error', 3); end;
function TError.Reserved4: Integer; stdcall; begin Result := Placeholder('Error', 4); end;
function TError.Reserved5: Integer; stdcall; begin Result := Placeholder('Error', 5); end;
function TError.Reserved6: Integer; stdcall; begin Result := Placeholder('Error', 6); end;

procedure TError.GetErrorText(out Result: WideString); stdcall;
begin
  Result := UnicodeString('用户名或密码错误');
end;

function TUser.Reserved3: Integer; stdcall; begin Result := Placeholder('User', 3); end;
function TUser.Reserved5: Integer; stdcall; begin Result := Placeholder('User', 5); end;
function TUser.Reserved8: Integer; stdcall; begin Result := Placeholder('User', 8); end;
function TUser.Reserved9: Integer; stdcall; begin Result := Placeholder('User', 9); end;
function TUser.Reserved10: Integer; stdcall; begin Result := Placeholder('User', 10); end;
function TUser.Reserved11: Integer; stdcall; begin Result := Placeholder('User', 11); end;
function TUser.Reserved12: Integer; stdcall; begin Result := Placeholder('User', 12); end;
function TUser.Reserved13: Integer; stdcall; begin Result := Placeholder('User', 13); end;
function TUser.Reserved14: Integer; stdcall; begin Result := Placeholder('User', 14); end;

procedure TUser.GetUserInfo(out Result: WideString); stdcall;
begin
  Result := UnicodeString('{"name":"张三","accountId":"A1","token":"T1","loginInfo":{"accountId":"A1"}}');
end;

procedure TUser.GetToken(out Result: WideString); stdcall;
begin
  Result := 'T1';
end;

procedure TUser.GetAccountId(out Result: WideString); stdcall;
begin
  Result := 'A1';
end;

procedure TUser.Refresh; stdcall;
begin
  J('refresh').Put;
end;

function TLoginManager.Reserved3: Integer; stdcall; begin Result := Placeholder('LoginManager', 3); end;
function TLoginManager.Reserved4: Integer; stdcall; begin Result := Placeholder('LoginManager', 4); end;
function TLoginManager.Reserved5: Integer; stdcall; begin Result := Placeholder('LoginManager', 5); end;
function TLoginManager.Reserved6: Integer; stdcall; begin Result := Placeholder('LoginManager', 6); end;
function TLoginManager.Reserved9: Integer; stdcall; begin Result := Placeholder('LoginManager', 9); end;
function TLoginManager.Reserved10: Integer; stdcall; begin Result := Placeholder('LoginManager', 10); end;
function TLoginManager.Reserved11: Integer; stdcall; begin Result := Placeholder('LoginManager', 11); end;
function TLoginManager.Reserved12: Integer; stdcall; begin Result := Placeholder('LoginManager', 12); end;

function TLoginManager.IsLoggedIn: TPasBoolEAX; stdcall;
begin
  EnterCriticalSection(GLock);
  if GCurrent <> nil then Result := kTrueEAX else Result := kFalseEAX;
  LeaveCriticalSection(GLock);
end;

procedure TLoginManager.GetCurrentUser(out Result: IZRAUser); stdcall;
begin
  EnterCriticalSection(GLock);
  Result := GCurrent;
  LeaveCriticalSection(GLock);
end;

procedure TLoginManager.SetAppID(AppID: PWideChar); stdcall;
begin
  J('setAppID').Str('appId', W(AppID)).Put;
end;

procedure TLoginManager.SetCurrentUser(const User: IZRAUser); stdcall;
begin
  EnterCriticalSection(GLock);
  GCurrent := User;
  LeaveCriticalSection(GLock);
  J('setCurrentUser').Bool('user', User <> nil).Put;
end;

function TAccount.Reserved3: Integer; stdcall; begin Result := Placeholder('Account', 3); end;
function TAccount.Reserved4: Integer; stdcall; begin Result := Placeholder('Account', 4); end;
function TAccount.Reserved5: Integer; stdcall; begin Result := Placeholder('Account', 5); end;
function TAccount.Reserved6: Integer; stdcall; begin Result := Placeholder('Account', 6); end;
function TAccount.Reserved7: Integer; stdcall; begin Result := Placeholder('Account', 7); end;
function TAccount.Reserved8: Integer; stdcall; begin Result := Placeholder('Account', 8); end;
function TAccount.Reserved9: Integer; stdcall; begin Result := Placeholder('Account', 9); end;
function TAccount.Reserved11: Integer; stdcall; begin Result := Placeholder('Account', 11); end;
function TAccount.Reserved13: Integer; stdcall; begin Result := Placeholder('Account', 13); end;
function TAccount.Reserved14: Integer; stdcall; begin Result := Placeholder('Account', 14); end;
function TAccount.Reserved15: Integer; stdcall; begin Result := Placeholder('Account', 15); end;
function TAccount.Reserved16: Integer; stdcall; begin Result := Placeholder('Account', 16); end;
function TAccount.Reserved18: Integer; stdcall; begin Result := Placeholder('Account', 18); end;
function TAccount.Reserved19: Integer; stdcall; begin Result := Placeholder('Account', 19); end;

procedure TAccount.GetLoginManager(out Result: IZRALoginManager); stdcall;
begin
  Result := GManager;
end;

procedure TAccount.InitApp(AppID, ProductKey, WebRoot: PWideChar); stdcall;
begin
  J('initApp').Str('appId', W(AppID)).Str('productKey', W(ProductKey)).Str('webRoot', W(WebRoot)).Put;
end;

procedure TAccount.Login(LoginName, Password: PWideChar; out Error: IZRAError; out User: IZRAUser); stdcall;
var
  Accepted: Boolean;
begin
  Accepted := (W(LoginName) = 'u1') and (W(Password) = 'p1');
  J('login').Str('loginName', W(LoginName)).Bool('accepted', Accepted).Put;
  if Accepted then
    User := TUser.Create
  else
    Error := TError.Create;
end;

procedure TAccount.CreateLoginUser(LoginInfo: PWideChar; out User: IZRAUser); stdcall;
var
  Accepted: Boolean;
begin
  Accepted := Pos('"accountId":"A1"', W(LoginInfo)) > 0;
  J('createLoginUser').Str('loginInfo', W(LoginInfo)).Bool('accepted', Accepted).Put;
  if Accepted then User := TUser.Create;
end;

{ The record's entries. }
procedure InitProc(RecordVar: PPointer; Instance: THandle); stdcall;
begin
  J('init').Int('instance', Instance).Bool('recordVar', (RecordVar <> nil) and (RecordVar^ = @GRecord)).Put;
end;

procedure DoneProc(RecordVar: PPointer; Instance: THandle); stdcall;
begin
  J('done').Int('instance', Instance).Bool('recordVar', (RecordVar <> nil) and (RecordVar^ = @GRecord)).Put;
  EnterCriticalSection(GLock);
  GCurrent := nil;
  LeaveCriticalSection(GLock);
end;

procedure GetAccountProc(Rec: Pointer; out Result: IZRAccount); stdcall;
begin
  J('getAccount').Bool('record', Rec = @GRecord).Put;
  Result := GAccount;
end;

procedure Publish;
var
  Cls: TWndClassW;
begin
  GRecord[2] := @InitProc;
  GRecord[3] := @DoneProc;
  GRecord[5] := @GetAccountProc;
  FillChar(Cls, SizeOf(Cls), 0);
  Cls.lpfnWndProc := WNDPROC(@GRecord);
  Cls.hInstance := GetModuleHandleW(nil);
  Cls.lpszClassName := kClassName;
  RegisterClassW(Cls);
end;

procedure Unpublish(Reason: PtrInt);
begin
  UnregisterClassW(kClassName, GetModuleHandleW(nil));
end;

begin
  InitCriticalSection(GLock);
  OpenRecord(HInstance, 'ProbeAccount.jsonl');
  GAccount := TAccount.Create;
  GManager := TLoginManager.Create;
  Publish;
  Dll_Process_Detach_Hook := @Unpublish;
end.
