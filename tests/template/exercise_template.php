<?php
// Runs the filled template's own functions against small stand-ins for the WordPress functions
// they call, and prints one JSON list of [passed, what] pairs: the funnel save, the post type's
// labels, the download key check, the addresses made from the key and the funnel list.
// Usage: php exercise_template.php FILLED_PLUGIN_PHP IDENTIFIER NAME

list( , $plugin, $id, $name ) = $argv + array( null, '', '', '' );

$results = array();
function expect( $ok, $what ) {
    global $results;
    $results[] = array( (bool) $ok, $what );
}

// A notice or warning is a fault of the template, never noise.
set_error_handler(
    function ( $level, $message, $file, $line ) {
        expect( false, "no PHP notice or warning: $message ($file:$line)" );
        return true;
    }
);

define( 'ABSPATH', '/' );
define( 'MINUTE_IN_SECONDS', 60 );

// What the stand-ins were asked, for the checks to look at.
$wp = array(
    'meta'       => array(),
    'post_types' => array(),
    'nonces'     => array(),
    'transients' => array(),
    'query_vars' => array(),
    'status'     => array(),
);

function add_action() {}
function add_filter() {}
function register_activation_hook() {}
function register_deactivation_hook() {}

function esc_html( $text ) {
    return htmlspecialchars( (string) $text, ENT_QUOTES, 'UTF-8' );
}
function esc_attr( $text ) {
    return esc_html( $text );
}
function esc_textarea( $text ) {
    return esc_html( $text );
}
function esc_url( $url ) {
    return esc_html( $url );
}
function __( $text ) {
    return $text;
}
function esc_html__( $text ) {
    return esc_html( $text );
}
function register_post_type( $type, $args ) {
    $GLOBALS['wp']['post_types'][ $type ] = $args;
}

function get_post_meta( $post_id, $key, $single ) {
    return $GLOBALS['wp']['meta'][ $post_id ][ $key ] ?? '';
}
function update_post_meta( $post_id, $key, $value ) {
    // WordPress unslashes what it stores.
    $GLOBALS['wp']['meta'][ $post_id ][ $key ] = wp_unslash( $value );
}
function wp_unslash( $value ) {
    return is_string( $value ) ? stripslashes( $value ) : $value;
}
function wp_slash( $value ) {
    return is_string( $value ) ? addslashes( $value ) : $value;
}
function sanitize_text_field( $text ) {
    return trim( (string) $text );
}
function current_user_can() {
    return true;
}
function wp_kses_post( $text ) {
    return $text;
}
function wp_is_post_revision() {
    return false;
}
function wp_is_post_autosave() {
    return false;
}
function wp_generate_password( $length ) {
    return substr( bin2hex( random_bytes( $length ) ), 0, $length );
}
function get_permalink( $post ) {
    return 'http://127.0.0.1/funnel/slug-of-' . ( is_object( $post ) ? $post->ID : $post ) . '/';
}
function home_url( $path ) {
    return 'http://127.0.0.1' . $path;
}
// As in WordPress: values go in as given (already encoded), after any the address holds.
function add_query_arg( $args, $url ) {
    $pairs = array();
    foreach ( $args as $name => $value ) {
        $pairs[] = $name . '=' . $value;
    }
    return $url . ( false === strpos( $url, '?' ) ? '?' : '&' ) . implode( '&', $pairs );
}
function get_transient( $name ) {
    return $GLOBALS['wp']['transients'][ $name ] ?? false;
}
function set_transient( $name, $value ) {
    $GLOBALS['wp']['transients'][ $name ] = $value;
}
function delete_transient( $name ) {
    unset( $GLOBALS['wp']['transients'][ $name ] );
}
function get_query_var( $name ) {
    return $GLOBALS['wp']['query_vars'][ $name ] ?? '';
}
function get_post() {
    return $GLOBALS['wp']['current_post'] ?? null;
}
// Enough of the class for the template's instanceof checks.
#[AllowDynamicProperties]
class WP_Post {
    public function __construct( array $fields ) {
        foreach ( $fields as $name => $value ) {
            $this->$name = $value;
        }
    }
}
function get_post_status( $post_id ) {
    return $GLOBALS['wp']['status'][ $post_id ] ?? 'publish';
}

// A nonce is good for the one action it was made for, as in WordPress.
function vantor_nonce_for( $action ) {
    return 'nonce-' . md5( $action );
}
function wp_nonce_field( $action, $name ) {
    $GLOBALS['wp']['nonces'][ $name ] = vantor_nonce_for( $action );
    printf( '<input type="hidden" name="%s" value="%s" />', esc_attr( $name ), esc_attr( vantor_nonce_for( $action ) ) );
}
function wp_verify_nonce( $nonce, $action ) {
    return is_string( $nonce ) && vantor_nonce_for( $action ) === $nonce ? 1 : false;
}

require $plugin;

$fn = function ( $suffix ) use ( $id ) {
    return $id . '_' . $suffix;
};

// The labels: the plugin name is shown in the admin menu and bar, so markup in it arrives as text.
$fn( 'register_post_type' )();
$labels = $wp['post_types'][ strtolower( $id ) ]['labels'] ?? array();
expect( esc_html( $name ) === ( $labels['name'] ?? null ) && esc_html( $name ) === ( $labels['menu_name'] ?? null ), 'the post type is named after the plugin, escaped' );
$raw = array();
foreach ( $labels as $label => $text ) {
    if ( preg_match( '/[<>"]|&(?![a-z]+;|#[0-9]+;)/i', $text ) ) {
        $raw[] = $label;
    }
}
expect( $labels && ! $raw, 'every label of the post type is escaped' . ( $raw ? ': ' . implode( ', ', $raw ) : '' ) );

// The edit form as rendered for funnel 7, then posted back as a browser would post it.
$post = new WP_Post(
    array(
        'ID'          => 7,
        'post_type'   => strtolower( $id ),
        'post_status' => 'draft',
    )
);
ob_start();
$fn( 'render_meta_box' )( $post );
$form = ob_get_clean();
preg_match_all( '/name="([^"]+)"/', $form, $fields );
$front = $fn( 'meta_key' )( 'front_tag' );
expect( count( $wp['nonces'] ) === 1 && in_array( $front, $fields[1], true ), 'the edit form holds a nonce and the front tag field' );
$nonce_field = (string) key( $wp['nonces'] );
$own_nonce   = $wp['nonces'][ $nonce_field ];
ob_start();
$fn( 'render_meta_box' )( new WP_Post( array_merge( get_object_vars( $post ), array( 'ID' => 8 ) ) ) );
ob_end_clean();
$other_nonce = $wp['nonces'][ $nonce_field ];

// As WordPress runs the save hooks: the one that gives a key first, then the form's.
$save = function ( array $form_post, array $meta = array() ) use ( $fn, $post, $front ) {
    $GLOBALS['wp']['meta'] = array( $post->ID => $meta );
    $_POST                 = $form_post;
    $fn( 'ensure_key' )( $post->ID );
    $fn( 'save_post' )( $post->ID, $post );
    return $GLOBALS['wp']['meta'][ $post->ID ];
};
$key_field = $fn( 'meta_key' )( 'download_key' );
$tag   = '<a href="https://pay.example/buy?id=1&amp;x=2">Buy now</a>';
$saved = $save(
    array(
        $nonce_field => $own_nonce,
        $front       => wp_slash( $tag ),
    )
);
expect( ( $saved[ $front ] ?? null ) === $tag, 'the form posted with its own nonce saves the tag as typed' );
$created = $save( array() );
expect( strlen( $created[ $key_field ] ?? '' ) >= 20, 'a funnel has its download key from its first save, the empty draft of a new funnel included' );
$kept = $save( array( $nonce_field => $own_nonce, $front => $tag ), array( $key_field => 'Kept9key' ) );
expect( 'Kept9key' === ( $kept[ $key_field ] ?? null ) && ! $wp['transients'], 'saving the form keeps the key' );
$renewed = $save( array( $nonce_field => $own_nonce, $fn( 'meta_key' )( 'new_key' ) => '1' ), array( $key_field => 'Kept9key' ) );
expect( 'Kept9key' !== ( $renewed[ $key_field ] ?? 'Kept9key' ) && strlen( $renewed[ $key_field ] ) >= 20, 'ticking "Make a new key" replaces the key' );
// The "updated" message as the edit screen shows it after a save, for the funnel being edited.
$saved_message = function () use ( $fn, $id ) {
    return $fn( 'updated_messages' )( array() )[ strtolower( $id ) ][1];
};
$wp['current_post'] = $post;
$first_view         = $saved_message();
$second_view        = $saved_message();
$wp['transients']   = array( $fn( 'renewed_flag' )( 8 ) => 1 );
$other_funnel       = $saved_message();
expect( false !== strpos( $first_view, 'no longer work' ) && false === strpos( $second_view, 'no longer work' ), 'the message after a new key says once that the addresses given out before stop working' );
expect( false === strpos( $other_funnel, 'no longer work' ), 'a new key of another funnel is not reported on this one' );

$forged = array(
    'a forged nonce'                     => 'nonce-' . md5( 'something else' ),
    'the nonce of another funnel\'s form' => $other_nonce,
    'an empty nonce'                     => '',
    'a nonce sent as an array'           => array( $own_nonce ),
);
expect( $other_nonce !== $own_nonce, 'each funnel\'s form has its own nonce' );
// Nothing saved: not the tag, and no new key either.
$untouched = array( $key_field => 'Kept9key' );
$new_key   = $fn( 'meta_key' )( 'new_key' );
foreach ( $forged as $what => $nonce ) {
    expect( $untouched === $save( array( $nonce_field => $nonce, $front => $tag, $new_key => '1' ), $untouched ), "the form posted with $what saves nothing" );
}
expect( $untouched === $save( array( $front => $tag, $new_key => '1' ), $untouched ), 'the form posted without its nonce saves nothing' );

// The download key check, on a funnel holding a key and on one that has none yet.
$wp['meta'] = array( 7 => array( $fn( 'meta_key' )( 'download_key' ) => 'Zq3v9XkP0e7Lm2Rt' ) );
$matches    = $fn( 'key_matches' );
expect( true === $matches( 7, 'Zq3v9XkP0e7Lm2Rt' ), 'the right key opens the download page' );
expect( false === $matches( 7, 'Zq3v9XkP0e7Lm2Ru' ), 'a wrong key does not' );
expect( false === $matches( 7, 'zq3v9xkp0e7lm2rt' ), 'the key in another case does not' );
expect( false === $matches( 7, '' ), 'an empty key does not' );
expect( false === $matches( 7, array( 'Zq3v9XkP0e7Lm2Rt' ) ), 'a key sent as an array does not' );
expect( false === $matches( 7, null ), 'no key at all does not' );
expect( false === $matches( 9, '' ), 'an empty key does not open a funnel that has no key yet' );
$wp['meta'] = array( 7 => array( $fn( 'meta_key' )( 'download_key' ) => '0e1234' ) );
expect( false === $matches( 7, '0e9876' ), 'keys are compared as text, not as numbers' );

// The addresses made from the key: from the funnel's number, never from its slug.
$type       = strtolower( $id );
$key_arg    = $fn( 'key_arg' )();
$wp['meta'] = array( 7 => array( $key_field => 'Zq3v9XkP0e7Lm2Rt' ) );
$address    = $fn( 'download_url' )( $post );
expect( "http://127.0.0.1/?post_type=$type&p=7&$key_arg=Zq3v9XkP0e7Lm2Rt" === $address, "the download address is made from the funnel's number and key, not its slug: $address" );
expect( '' === $fn( 'download_url' )( new WP_Post( array( 'ID' => 9 ) ) ), 'a funnel without a key has no download address' );

$wp['meta'][7][ $front ] = '<form action="https://pay.example/"><input type="hidden" name="return" value="[download_url]"><input name="note" value="[download_url ]"></form>';
$shown                   = $fn( 'shown_tag' )( 7, 'front_tag' );
expect( false !== strpos( $shown, 'value="' . esc_url( $address ) . '"' ) && false !== strpos( $shown, '[download_url ]' ), '[download_url] in a tag becomes the download address, escaped for an attribute; nothing else changes' );
$wp['meta'][7][ $key_field ] = 'NewKey0000000000';
expect( false !== strpos( $fn( 'shown_tag' )( 7, 'front_tag' ), 'NewKey0000000000' ), '[download_url] follows a new key' );

// An address with the old slug is sent on to the new one with the key and the file it asked for.
$file_arg           = $fn( 'file_arg' )();
$_GET               = array(
    $key_arg  => 'Zq3v9XkP0e7Lm2Rt',
    $file_arg => 'files/My Guide & more.pdf',
    'utm'     => 'x',
);
$wp['query_vars']   = array( 'post_type' => $type );
$redirect           = $fn( 'old_slug_keeps_key' )( 'http://127.0.0.1/funnel/new-slug/' );
$wp['query_vars']   = array( 'post_type' => 'post' );
$other_type         = $fn( 'old_slug_keeps_key' )( 'http://127.0.0.1/hello/' );
expect( "http://127.0.0.1/funnel/new-slug/?$key_arg=Zq3v9XkP0e7Lm2Rt&$file_arg=" . rawurlencode( 'files/My Guide & more.pdf' ) === $redirect, "the old-slug redirect keeps the key and the file, encoded, and nothing else: $redirect" );
expect( 'http://127.0.0.1/hello/' === $other_type, 'the old-slug redirect of another post type is left alone' );
$_GET = array();

// The funnel list: the address column beside the title, and the state of each tag.
$columns = $fn( 'list_columns' )( array( 'cb' => '', 'title' => 'Title', 'date' => 'Date' ) );
expect( array( 'cb', 'title', $id . '_address', $id . '_tags', 'date' ) === array_keys( $columns ), 'the list shows the address and the tags right after the title' );
$wp['meta'][7][ $fn( 'meta_key' )( 'back_tag' ) ] = " \n ";
ob_start();
$fn( 'list_cell' )( $id . '_address', 7 );
$fn( 'list_cell' )( $id . '_tags', 7 );
$cells = ob_get_clean();
expect( false !== strpos( $cells, 'value="' . esc_url( $fn( 'download_url' )( $post ) ) . '"' ), "the address column holds the funnel's download address" );
expect( 1 === substr_count( $cells, ': filled in' ) && 1 === substr_count( $cells, '<strong>empty</strong>' ), 'the tags column says which tag is filled in and which is empty (white space counts as empty)' );

echo json_encode( $results );
